#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "e2e/xuser.h"
#include "tamsivarapp/main.h"
#include "tamsivarapp/winlessmsg.h"

namespace {

struct sBoxCase {
  int kind;
  const char* caption;  // of the toolkit's box
  const char* key;
  int answer;
};

// Shows every box in turn from inside a running application, as a mode
// without windows would.
class cBoxesApp : public cTamsivarApp {
 public:
  explicit cBoxesApp(const std::vector<sBoxCase>& cases) : cases_(cases) {}
  int run() override {
    for (const sBoxCase& c : cases_) answers.push_back(cWLMsgForm::modal(c.kind, "Something happened"));
    return 0;
  }
  static inline std::vector<int> answers;

 private:
  std::vector<sBoxCase> cases_;
};

TEST(WindowlessMessages, EachKindShowsItsBoxAndAnswersOnlyYesAsTrue) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  ScratchDir home;
  setenv("HOME", home.root.c_str(), 1);
  const std::vector<sBoxCase> cases = {
      {cWLMsgForm::kInfo, "Information", "Return", 0},
      {cWLMsgForm::kError, "Error", "Return", 0},
      {cWLMsgForm::kWarning, "Warning", "Escape", 0},
      {cWLMsgForm::kWarnConfirm, "Confirm", "Return", 1},
      {cWLMsgForm::kWarnConfirm, "Confirm", "Escape", 0},
  };
  const std::string shots = std::string(ZVK_BINARY_DIR) + "/screenshots";
  std::filesystem::create_directories(shots);
  auto user = std::async(std::launch::async, [&] {
    int n = 0;
    for (const sBoxCase& c : cases) {
      // The box is a sheet: the form's window takes its caption meanwhile.
      const std::string box = e2e::waitWindow(c.caption);
      if (box.empty()) return false;
      // The form only holds the box up: it is never on the screen.
      EXPECT_TRUE(e2e::windowsCaptioned("Software manager").empty()) << c.caption;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // painted
      e2e::screenshot(box, shots + "/winlessmsg_" + std::to_string(n++) + ".png");
      // Typed, not sent to the window: a key sent to a box that closes on
      // it stays down and repeats into the next box, which has the same caption.
      if (!e2e::typeToClose(box, c.key)) return false;
    }
    return true;
  });
  char arg0[] = "/nowhere/zvk";
  char* argv[] = {arg0, nullptr};
  cBoxesApp::answers.clear();
  int status = cCIApplication::runApp(new cBoxesApp(cases), nullptr, nullptr, 0, 1, argv, new cCIAppFullConfig, "zvk");
  EXPECT_TRUE(user.get());
  EXPECT_EQ(status, 0);
  ASSERT_EQ(cBoxesApp::answers.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cBoxesApp::answers[i], cases[i].answer) << cases[i].caption;
  EXPECT_FALSE(cWLMsgForm::warnconfirm("no application"));
}

}  // namespace
