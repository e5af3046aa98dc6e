// The byte stream every reader and writer of the system works on, its file
// member, and the plain file layer underneath on bare descriptors.
//
// Counts are unsigned 32-bit, positions and sizes unsigned 64-bit. A short
// count is not an error by itself; readf and writef ask for all or nothing.
#pragma once

#include "base/guardchar.h"

class cFileIOTarget {
 public:
  virtual unsigned long long size() = 0;
  virtual unsigned int read(void* buf, unsigned int count) = 0;
  // Read-only members keep this: nothing is written.
  virtual unsigned int write(void* buf, unsigned int count);
  // A short transfer still moves the position by what was transferred.
  virtual bool readf(void* buf, unsigned int count);
  virtual bool writef(void* buf, unsigned int count);
  virtual bool set_fp(unsigned long long pos) = 0;
  // Moves to `offset` bytes before the end.
  virtual bool set_fp_end(unsigned long long offset) = 0;
  virtual bool set_eof(unsigned long long length) = 0;
  virtual void close() = 0;
  // A local calendar time, month 1 to 12; only files carry one.
  virtual bool set_time(int year, int month, int day, int hour, int minute, int second);
  virtual bool valid() = 0;
  virtual ~cFileIOTarget() = default;
  // 0 for any member that does not say, 1 a file, 2 a memory target.
  virtual int typeOf();
};

// fmWriteShared opens for writing only, as fmWrite; callers of another
// heritage ask for it by that number.
enum eFileMode { fmRead = 1, fmWrite = 2, fmReadWrite = 3, fmWriteShared = 6 };

// The file layer on handles: a void* holding the descriptor, -1 when invalid.
void* file_open(const char* path, eFileMode mode);
// Creates or empties the file, with the permission bits 0664 whatever the
// process's file-creation mask.
void* file_create(const char* path, eFileMode mode);
unsigned long long file_size(void* h);
// The operating system's count, -1 on an error.
long long file_read(void* h, void* buf, unsigned int count);
long long file_write(void* h, void* buf, unsigned int count);
bool file_set_fp(void* h, unsigned long long pos);
bool file_set_fp_end(void* h, unsigned long long offset);
bool file_set_eof(void* h, unsigned long long length);
void file_close(void* h);
bool file_valid(void* h);
void* file_invalid_handle();
// Seconds since 1970 counted in local time; 0xFFFFFFFF means "not given".
// Only the first is applied, as both the access and the modification time.
bool file_set_time(void* h, unsigned long long first, unsigned long long second, unsigned long long third);
bool file_set_time(void* h, int year, int month, int day, int hour, int minute, int second);

class cFileIO : public cFileIOTarget {
 public:
  long long handle = -1;
  _guardchar<char> path;

  cFileIO() = default;
  cFileIO(const cFileIO&) = delete;
  cFileIO& operator=(const cFileIO&) = delete;
  ~cFileIO() override;

  unsigned long long size() override;
  // 0xFFFFFFFF on an error (a closed file included), so readf fails.
  unsigned int read(void* buf, unsigned int count) override;
  unsigned int write(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override;
  bool set_eof(unsigned long long length) override;
  void close() override;
  bool set_time(int year, int month, int day, int hour, int minute, int second) override;
  bool valid() override;
  int typeOf() override;
  virtual bool set_time(unsigned long long first, unsigned long long second, unsigned long long third);

  bool open(const char* path, eFileMode mode);
  bool create(const char* path, eFileMode mode);

  // Exclusive record locks between processes. They belong to this open
  // file, so closing another descriptor of the same file keeps them.
  bool lock(unsigned long long start, unsigned long long length);
  bool lock_w(unsigned long long start, unsigned long long length);
  // Shared and waiting: readers run together and only wait for a writer, and
  // a file opened for reading alone can take it.
  bool lock_shared_w(unsigned long long start, unsigned long long length);
  bool unlock(unsigned long long start, unsigned long long length);

  static bool remove(const char* path);
  // Same file system only; an existing target is replaced.
  static bool move(const char* from, const char* to);

 private:
  bool adopt(void* h, const char* newPath);
  void* h() const { return reinterpret_cast<void*>(handle); }
};

// Owns one descriptor; descriptor 0 counts as none and is never closed.
class cSafeFD {
 public:
  void* handle;

  explicit cSafeFD(void* h = nullptr) : handle(h) {}
  cSafeFD(const cSafeFD&) = delete;
  cSafeFD& operator=(const cSafeFD&) = delete;
  virtual ~cSafeFD();

  bool valid() const;
  void close();
  void set(void* h);
};
