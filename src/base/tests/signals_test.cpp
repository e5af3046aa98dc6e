#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "base/exception.h"

namespace {

// The sanitizers would report these faults themselves before the hardware
// raised them; the point here is the hardware fault.
__attribute__((no_sanitize("undefined"), noinline)) int divide(int n, int by) {
  volatile int divisor = by;
  return n / divisor;
}

__attribute__((no_sanitize("undefined"), noinline)) void store(int* target) {
  int* volatile where = target;
  *where = 1;
}

template <typename F>
cException faultOf(F&& f) {
  try {
    f();
  } catch (const cException& e) {
    return e;
  }
  ADD_FAILURE() << "no fault translated";
  return cException("", 0, 0, "");
}

void expectSignal(const cException& e, int signal) {
  EXPECT_EQ(e.code, static_cast<unsigned int>(signal));
  EXPECT_STREQ(e.message.ptr, "Signal received");
  EXPECT_STREQ(e.file.ptr, "src/base/exception.cpp");
  EXPECT_GT(e.line, 0u);
}

TEST(SignalTranslation, FaultsBecomeExceptionsAgainAndAgainOnOneThread) {
  cException::init();
  for (int round = 0; round < 3; ++round) {
    expectSignal(faultOf([] { divide(7, 0); }), SIGFPE);
    expectSignal(faultOf([] { store(nullptr); }), SIGSEGV);
  }
  EXPECT_EQ(divide(7, 2), 3);
}

TEST(SignalTranslation, ReadingAMappingPastItsFileIsABusFault) {
  cException::init();
  char path[] = "/tmp/zvk_sigbus_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 1), 0);
  long page = sysconf(_SC_PAGESIZE);
  void* map = mmap(nullptr, static_cast<size_t>(page) * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  int* pastEnd = reinterpret_cast<int*>(static_cast<char*>(map) + page);
  for (int round = 0; round < 2; ++round) expectSignal(faultOf([&] { store(pastEnd); }), SIGBUS);
  munmap(map, static_cast<size_t>(page) * 2);
  close(fd);
  unlink(path);
}

TEST(SignalTranslation, WritingToAPipeWithoutReaderFailsInsteadOfEndingTheProcess) {
  cException::init();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  EXPECT_EQ(write(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(fds[1]);
  EXPECT_EQ(raise(SIGHUP), 0);
}

}  // namespace
