#include "base/targets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "base/utils.h"

unsigned int cFileIOTarget::write(void*, unsigned int) { return 0; }

bool cFileIOTarget::readf(void* buf, unsigned int count) { return read(buf, count) == count; }

bool cFileIOTarget::writef(void* buf, unsigned int count) { return write(buf, count) == count; }

bool cFileIOTarget::set_time(int, int, int, int, int, int) { return false; }

int cFileIOTarget::typeOf() { return 0; }

namespace {

// Only the low 32 bits of a handle carry the descriptor.
int fdOf(void* h) { return static_cast<int>(reinterpret_cast<uintptr_t>(h)); }
void* handleOf(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd)); }

int accessFlags(eFileMode mode) {
  switch (mode) {
    case fmRead:
      return O_RDONLY;
    case fmWrite:
    case fmWriteShared:
      return O_WRONLY;
    default:
      return O_RDWR;
  }
}

// Offsets above the signed range cannot be expressed to the kernel.
bool fitsOffset(unsigned long long v) { return v <= static_cast<unsigned long long>(INT64_MAX); }

bool setTimes(void* h, time_t utc) {
  timeval tv[2] = {{utc, 0}, {utc, 0}};
  return futimes(fdOf(h), tv) == 0;
}

bool recordLock(int fd, short type, int command, unsigned long long start, unsigned long long length) {
  if (!fitsOffset(start) || !fitsOffset(length)) return false;
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(start);
  fl.l_len = static_cast<off_t>(length);
  int r;
  do r = fcntl(fd, command, &fl);
  while (r == -1 && errno == EINTR);
  return r == 0;
}

}  // namespace

void* file_open(const char* path, eFileMode mode) {
  if (!path) return file_invalid_handle();
  int fd;
  do fd = ::open(path, accessFlags(mode) | O_CLOEXEC);
  while (fd == -1 && errno == EINTR);
  return handleOf(fd);
}

void* file_create(const char* path, eFileMode mode) {
  if (!path) return file_invalid_handle();
  int fd;
  do fd = ::open(path, accessFlags(mode) | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  while (fd == -1 && errno == EINTR);
  if (fd != -1) fchmod(fd, 0664);
  return handleOf(fd);
}

unsigned long long file_size(void* h) {
  struct stat st;
  if (!file_valid(h) || fstat(fdOf(h), &st) != 0 || st.st_size < 0) return 0;
  return static_cast<unsigned long long>(st.st_size);
}

long long file_read(void* h, void* buf, unsigned int count) {
  ssize_t r;
  do r = ::read(fdOf(h), buf, count);
  while (r == -1 && errno == EINTR);
  return r;
}

long long file_write(void* h, void* buf, unsigned int count) {
  ssize_t r;
  do r = ::write(fdOf(h), buf, count);
  while (r == -1 && errno == EINTR);
  return r;
}

bool file_set_fp(void* h, unsigned long long pos) {
  if (!fitsOffset(pos)) return false;
  return lseek(fdOf(h), static_cast<off_t>(pos), SEEK_SET) == static_cast<off_t>(pos);
}

bool file_set_fp_end(void* h, unsigned long long offset) {
  if (!fitsOffset(offset)) return false;
  return lseek(fdOf(h), -static_cast<off_t>(offset), SEEK_END) != -1;
}

bool file_set_eof(void* h, unsigned long long length) {
  if (!fitsOffset(length)) return false;
  int r;
  do r = ftruncate(fdOf(h), static_cast<off_t>(length));
  while (r == -1 && errno == EINTR);
  return r == 0;
}

void file_close(void* h) {
  if (file_valid(h)) ::close(fdOf(h));
}

bool file_valid(void* h) { return fdOf(h) != -1; }

void* file_invalid_handle() { return handleOf(-1); }

bool file_set_time(void* h, unsigned long long first, unsigned long long, unsigned long long) {
  if (first == 0xFFFFFFFFull) return false;
  return setTimes(h, static_cast<time_t>(localToUTC(first)));
}

bool file_set_time(void* h, int year, int month, int day, int hour, int minute, int second) {
  struct tm tm = {};
  tm.tm_sec = second;
  tm.tm_min = minute;
  tm.tm_hour = hour;
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = year - 1900;
  tm.tm_isdst = -1;
  time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1)) return false;
  return setTimes(h, t);
}

cFileIO::~cFileIO() { file_close(h()); }

unsigned long long cFileIO::size() { return file_size(h()); }

unsigned int cFileIO::read(void* buf, unsigned int count) {
  return static_cast<unsigned int>(file_read(h(), buf, count));
}

unsigned int cFileIO::write(void* buf, unsigned int count) {
  return static_cast<unsigned int>(file_write(h(), buf, count));
}

bool cFileIO::set_fp(unsigned long long pos) { return file_set_fp(h(), pos); }

bool cFileIO::set_fp_end(unsigned long long offset) { return file_set_fp_end(h(), offset); }

bool cFileIO::set_eof(unsigned long long length) { return file_set_eof(h(), length); }

void cFileIO::close() {
  file_close(h());
  handle = -1;
}

bool cFileIO::set_time(int year, int month, int day, int hour, int minute, int second) {
  return file_set_time(h(), year, month, day, hour, minute, second);
}

bool cFileIO::set_time(unsigned long long first, unsigned long long second, unsigned long long third) {
  return file_set_time(h(), first, second, third);
}

bool cFileIO::valid() { return file_valid(h()); }

int cFileIO::typeOf() { return 1; }

bool cFileIO::adopt(void* fresh, const char* newPath) {
  handle = static_cast<long long>(reinterpret_cast<intptr_t>(fresh));
  if (!valid()) return false;
  path.set(newPath);
  return true;
}

bool cFileIO::open(const char* newPath, eFileMode mode) {
  close();
  return adopt(file_open(newPath, mode), newPath);
}

bool cFileIO::create(const char* newPath, eFileMode mode) {
  close();
  return adopt(file_create(newPath, mode), newPath);
}

bool cFileIO::lock(unsigned long long start, unsigned long long length) {
  return valid() && recordLock(fdOf(h()), F_WRLCK, F_OFD_SETLK, start, length);
}

bool cFileIO::lock_w(unsigned long long start, unsigned long long length) {
  return valid() && recordLock(fdOf(h()), F_WRLCK, F_OFD_SETLKW, start, length);
}

bool cFileIO::lock_shared_w(unsigned long long start, unsigned long long length) {
  return valid() && recordLock(fdOf(h()), F_RDLCK, F_OFD_SETLKW, start, length);
}

bool cFileIO::unlock(unsigned long long start, unsigned long long length) {
  return valid() && recordLock(fdOf(h()), F_UNLCK, F_OFD_SETLKW, start, length);
}

bool cFileIO::remove(const char* path) { return path && unlink(path) == 0; }

bool cFileIO::move(const char* from, const char* to) { return from && to && std::rename(from, to) == 0; }

cSafeFD::~cSafeFD() { close(); }

bool cSafeFD::valid() const { return fdOf(handle) > 0; }

void cSafeFD::close() {
  if (fdOf(handle) > 0) ::close(fdOf(handle));
  handle = nullptr;
}

void cSafeFD::set(void* h) {
  close();
  handle = h;
}
