#include "base/targets.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>

#include "scratch_dir.h"

namespace {

TEST(FileIO, ReadfIsAllOrNothingAndSeeksFromTheEndCountBackwards) {
  ScratchDir dir;
  cFileIO f;
  ASSERT_TRUE(f.create(dir.file("a").c_str(), fmReadWrite));
  ASSERT_TRUE(f.writef(const_cast<char*>("0123456789"), 10));
  char buf[16];
  ASSERT_TRUE(f.set_fp(6));
  EXPECT_FALSE(f.readf(buf, 10));
  EXPECT_EQ(f.read(buf, 1), 0u) << "the short read moved to the end";
  EXPECT_EQ(memcmp(buf, "6789", 4), 0);
  ASSERT_TRUE(f.set_fp_end(2));
  ASSERT_TRUE(f.readf(buf, 1));
  EXPECT_EQ(buf[0], '8');
  EXPECT_FALSE(f.set_fp_end(11)) << "before the start of the file";
  EXPECT_FALSE(f.set_fp(0x8000000000000000ull));
}

TEST(FileIO, ClosedFileAnswersTheErrorMarkAndFailsEverything) {
  cFileIO f;
  char buf[4];
  EXPECT_EQ(f.read(buf, 4), 0xFFFFFFFFu);
  EXPECT_FALSE(f.readf(buf, 4));
  EXPECT_EQ(f.write(buf, 4), 0xFFFFFFFFu);
  EXPECT_FALSE(f.set_fp_end(0));
  EXPECT_FALSE(f.lock(0, 4));
  f.close();  // closing twice does nothing
}

TEST(FileIO, CreateEmptiesSetsTheModeWhateverTheMaskAndIsNotInherited) {
  ScratchDir dir;
  std::string path = dir.file("m");
  mode_t old = umask(077);
  cFileIO f;
  bool created = f.create(path.c_str(), fmWrite);
  umask(old);
  ASSERT_TRUE(created);
  ASSERT_TRUE(f.writef(const_cast<char*>("content"), 7));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);
  EXPECT_TRUE(fcntl(static_cast<int>(f.handle), F_GETFD) & FD_CLOEXEC);
  ASSERT_TRUE(f.create(path.c_str(), fmReadWrite));
  EXPECT_EQ(f.size(), 0u);

  // The access each mode opens with, as the descriptor reports it.
  const struct {
    eFileMode mode;
    int access;
  } modes[] = {{fmRead, O_RDONLY}, {fmWrite, O_WRONLY}, {fmReadWrite, O_RDWR}, {fmWriteShared, O_WRONLY}};
  for (const auto& m : modes) {
    ASSERT_TRUE(f.open(path.c_str(), m.mode));
    EXPECT_EQ(fcntl(static_cast<int>(f.handle), F_GETFL) & O_ACCMODE, m.access) << m.mode;
  }

  // A failed open leaves it closed with the old path.
  EXPECT_FALSE(f.open(dir.file("missing").c_str(), fmRead));
  EXPECT_FALSE(f.valid());
  EXPECT_STREQ(f.path.ptr, path.c_str());
}

TEST(FileIO, SetTimeTakesLocalCalendarOrLocalSeconds) {
  ScratchDir dir;
  std::string path = dir.file("t");
  cFileIO f;
  ASSERT_TRUE(f.create(path.c_str(), fmWrite));
  ASSERT_TRUE(f.set_time(2015, 6, 1, 12, 0, 0));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  struct tm local;
  localtime_r(&st.st_mtime, &local);
  EXPECT_TRUE(local.tm_year == 115 && local.tm_mon == 5 && local.tm_mday == 1 && local.tm_hour == 12);
  EXPECT_EQ(st.st_atime, st.st_mtime);

  time_t before = st.st_mtime;
  EXPECT_FALSE(f.set_time(0xFFFFFFFFull, 1000ull, 1000ull));
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, before) << "a refused call changes nothing";

  time_t localSeconds = 1000000000;
  ASSERT_TRUE(f.set_time(static_cast<unsigned long long>(localSeconds + local.tm_gmtoff), 0xFFFFFFFFull,
                         0xFFFFFFFFull));
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, localSeconds);
}

TEST(FileIO, RecordLocksBelongToTheOpenFileAndWaitForAnotherProcess) {
  ScratchDir dir;
  std::string path = dir.file("l");
  cFileIO first, second;
  ASSERT_TRUE(first.create(path.c_str(), fmReadWrite));
  ASSERT_TRUE(second.open(path.c_str(), fmReadWrite));
  ASSERT_TRUE(first.lock(0, 4));
  EXPECT_FALSE(second.lock(0, 4));
  EXPECT_TRUE(second.lock(4, 4)) << "bytes outside the range are free";
  second.close();
  ASSERT_TRUE(second.open(path.c_str(), fmReadWrite));
  EXPECT_FALSE(second.lock(0, 4)) << "closing another descriptor dropped the lock";

  // The lock is let go only once the child found it held, however slowly
  // the child starts; the pause then gives its wait a chance to begin.
  int probed[2];
  ASSERT_EQ(pipe(probed), 0);
  pid_t child = fork();
  if (child == 0) {
    cFileIO f;
    bool ok =
        f.open(path.c_str(), fmReadWrite) && !f.lock(0, 4) && write(probed[1], "p", 1) == 1 && f.lock_w(0, 4);
    _exit(ok ? 0 : 1);
  }
  close(probed[1]);
  char byte;
  EXPECT_EQ(read(probed[0], &byte, 1), 1);
  close(probed[0]);
  usleep(100000);
  ASSERT_TRUE(first.unlock(0, 4));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(FileLayer, DescriptorGuardNeverClosesZeroAndClosesWhatItOwns) {
  EXPECT_FALSE(file_valid(file_open(nullptr, fmRead)));
  cSafeFD zero(nullptr);
  EXPECT_FALSE(zero.valid());
  zero.close();
  EXPECT_NE(fcntl(0, F_GETFD), -1) << "descriptor 0 is never closed";
  int fd = dup(1);
  ASSERT_GT(fd, 0);
  { cSafeFD guard(reinterpret_cast<void*>(static_cast<intptr_t>(fd))); }
  EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the guard closed what it owned";
}

}  // namespace
