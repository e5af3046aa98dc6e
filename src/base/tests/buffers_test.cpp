#include "base/buffers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <typename F>
void expectOutOfBounds(F&& f, const char* message) {
  try {
    f();
    ADD_FAILURE() << "no exception thrown";
  } catch (const cException& e) {
    EXPECT_STREQ(e.message.ptr, message);
  }
}

TEST(TypeBuf, IndexOutsideTheCountThrows) {
  _typebuf<int> buf;
  expectOutOfBounds([&] { buf[0] = 1; }, "_typebuf::Out of bounds");
  buf.set(3);
  for (long long bad : {-1LL, 3LL}) expectOutOfBounds([&] { buf[bad] = 1; }, "_typebuf::Out of bounds");
  _classbuf<std::string> objects;
  objects.set(2);
  expectOutOfBounds([&] { objects[2].clear(); }, "_classbuf::Out of bounds");
}

TEST(TypeBuf, ResetKeepsLeadingElementsAndSameCountKeepsStorage) {
  _typebuf<int> buf;
  buf.set(4);
  for (int i = 0; i < 4; ++i) buf[i] = i * 10;
  int* before = buf.ptr;
  buf.reset(4);
  EXPECT_EQ(buf.ptr, before);
  buf.reset(2);
  buf.reset(6);
  EXPECT_EQ(buf[1], 10);
}

TEST(GuardChar, CountedCopiesCutAndTerminate) {
  _guardchar<char> s;
  s.set("abcdef", 3);
  EXPECT_STREQ(s.ptr, "abc");
  s.set("ab", 5);
  EXPECT_STREQ(s.ptr, "ab");
  s.set("abc", -1);
  EXPECT_EQ(s.ptr, nullptr);
}

struct Counted {
  static int deleted;
  virtual ~Counted() { ++deleted; }
};
int Counted::deleted = 0;

TEST(OwningPointer, ReassignmentDeletesThePreviousObjectOnce) {
  Counted::deleted = 0;
  {
    cPtr<Counted> p;
    p = new Counted;
    p = new Counted;
    EXPECT_EQ(Counted::deleted, 1);
    p = p.ptr;
    EXPECT_EQ(Counted::deleted, 1);
  }
  EXPECT_EQ(Counted::deleted, 2);
}

}  // namespace
