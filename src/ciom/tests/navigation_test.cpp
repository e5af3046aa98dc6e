// The navigation bar's model: how typed paths become segment buttons, how the
// history orders revisits, and the animator's curve (whose first value must
// be exactly 0.0 and whose later ones must never reach the 1.0 that stops).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ciom/navigationhistory.h"
#include "ciom/navigationpath.h"

namespace {

struct sSeg {
  int id;
  std::string label, path;
  bool operator==(const sSeg&) const = default;
};

std::vector<sSeg> segmentsOf(const char* path, bool rootSlash) {
  cFasterTreeList<int, sNaviSegment> t;
  splitNavigationPath(path, rootSlash, t);
  std::vector<sSeg> out;
  auto* it = t.root;
  while (it && it->left) it = it->left;
  for (; it; it = cFasterTreeList<int, sNaviSegment>::next(it))
    out.push_back({it->key, it->value.label.ptr, it->value.path.ptr});
  clearNavigationSegments(t);
  return out;
}

TEST(NavigationPath, SegmentsOfTypedPaths) {
  struct {
    const char* path;
    bool rootSlash;
    std::vector<sSeg> want;
  } cases[] = {
      {"/Users/ann", true, {{1, "/", "/"}, {2, "Users", "/Users"}, {3, "ann", "/Users/ann"}}},
      {"/Users/ann", false, {{2, "Users", "/Users"}, {3, "ann", "/Users/ann"}}},
      {"a//b/", true, {{1, "a", "a"}, {2, "b", "a//b"}}},
      {"//x///y", true, {{1, "/", "/"}, {2, "x", "//x"}, {3, "y", "//x///y"}}},
      {"/", true, {{1, "/", "/"}}},
      {"/", false, {}},
      {"", true, {}},
      {nullptr, true, {}},
  };
  for (auto& c : cases)
    EXPECT_EQ(segmentsOf(c.path, c.rootSlash), c.want) << (c.path ? c.path : "(null)");
}

std::vector<std::string> historyOf(const cNavigationHistory& h) {
  std::vector<std::string> out;
  _guardchar<char> s;
  for (void* c = h.next(nullptr, s); c; c = h.next(c, s)) out.push_back(s.ptr);
  return out;
}

TEST(NavigationHistory, RevisitsMoveToFrontAndInitEmpties) {
  struct {
    std::vector<const char*> visits;
    std::vector<std::string> want;
  } cases[] = {
      {{"A", "B", "A"}, {"A", "B"}},
      {{"A", "B", "C", "B"}, {"B", "C", "A"}},
      {{"A", "A", "A"}, {"A"}},
      {{"/x", nullptr, "/y"}, {"/y", "/x"}},
      {{}, {}},
  };
  for (auto& c : cases) {
    cNavigationHistory h;
    for (const char* v : c.visits) h.setVisited(v);
    EXPECT_EQ(historyOf(h), c.want);
    h.init();
    EXPECT_TRUE(historyOf(h).empty());
    h.setVisited("again");
    EXPECT_EQ(historyOf(h), std::vector<std::string>{"again"});
  }
}

TEST(NavigationProgress, FirstPostIsExactlyZeroThenRisesBelowOne) {
  double t = 0.0, post = -1;
  int step = 0;
  while (!stepFakeNavigationProgress(t, post)) ASSERT_LT(++step, 100);
  EXPECT_EQ(step, 5);  // the sixth wake-up posts
  EXPECT_EQ(post, 0.0);
  double prev = post;
  for (int i = 0; i < 20000; ++i) {
    ASSERT_TRUE(stepFakeNavigationProgress(t, post));
    ASSERT_GT(post, prev);
    ASSERT_LT(post, 1.0);
    prev = post;
  }
  double idle = -1.0;
  EXPECT_FALSE(stepFakeNavigationProgress(idle, post));
  EXPECT_EQ(idle, -1.0);
}

}  // namespace
