#include "base/buffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

template <typename F>
cException catchException(F&& f) {
  try {
    f();
  } catch (const cException& e) {
    return e;
  }
  ADD_FAILURE() << "no exception thrown";
  return cException("", 0, 0xFFFFFFFF, "");
}

TEST(TypeBuf, IndexOutsideTheCountThrowsWithItsOrigin) {
  _typebuf<int> buf;
  buf.set(3);
  for (long long bad : {-1LL, 3LL}) {
    cException e = catchException([&] { buf[bad] = 1; });
    EXPECT_STREQ(e.message.ptr, "_typebuf::Out of bounds");
    EXPECT_EQ(e.code, 0u);
    EXPECT_EQ(e.line, 17u);
    EXPECT_STREQ(e.file.ptr, "src/base/buffers.h");
  }
  _typebuf<int> empty;
  EXPECT_THROW(empty[0], cException);

  _classbuf<std::string> objects;
  objects.set(2);
  cException e = catchException([&] { objects[2].clear(); });
  EXPECT_STREQ(e.message.ptr, "_classbuf::Out of bounds");
  EXPECT_EQ(e.line, 125u);
  EXPECT_STREQ(e.file.ptr, "src/base/buffers.h");
}

TEST(TypeBuf, ResetKeepsLeadingElementsAndSameCountKeepsStorage) {
  _typebuf<int> buf;
  buf.set(4);
  for (int i = 0; i < 4; ++i) buf[i] = i * 10;
  int* before = buf.ptr;
  buf.reset(4);
  EXPECT_EQ(buf.ptr, before);
  buf.reset(2);
  ASSERT_EQ(buf.count, 2);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 10);
  buf.reset(6);
  EXPECT_EQ(buf[1], 10);
  buf.reset(0);
  EXPECT_EQ(buf.ptr, nullptr);
  EXPECT_EQ(buf.count, 0);
}

TEST(GuardChar, CountedCopiesCutAndTerminate) {
  _guardchar<char> s;
  s.set("abcdef", 3);
  EXPECT_STREQ(s.ptr, "abc");
  s.set("ab", 5);
  EXPECT_STREQ(s.ptr, "ab");
  s.set(nullptr);
  EXPECT_EQ(s.ptr, nullptr);
  s.set("abc", -1);
  EXPECT_EQ(s.ptr, nullptr);
  s.set(4LL);
  ASSERT_NE(s.ptr, nullptr);
  EXPECT_EQ(std::memcmp(s.ptr, "\0\0\0\0", 4), 0);

  const unsigned short wide[] = {0x41, 0x416, 0};
  _guardchar<unsigned short> w(wide);
  EXPECT_EQ(w.ptr[1], 0x416);
  EXPECT_EQ(w.ptr[2], 0);
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
  { cPtr<Counted> empty; }
  EXPECT_EQ(Counted::deleted, 2);
}

}  // namespace
