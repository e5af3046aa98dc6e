#include "base/memio.h"

#include <climits>
#include <cstring>
#include <new>

namespace {

// A position plus one transfer must stay inside the signed range.
constexpr long long kMaxPosition = LLONG_MAX;

template <typename T>
T smaller(T a, T b) {
  return a < b ? a : b;
}

// The seeks of the members that hold their bytes themselves: clamped to the
// content, and a failed seek still leaves a defined position.
bool seekInside(long long size, unsigned long long pos, long long& position) {
  bool inside = pos <= static_cast<unsigned long long>(size);
  position = inside ? static_cast<long long>(pos) : size;
  return inside;
}

bool seekBeforeEnd(long long size, unsigned long long offset, long long& position) {
  bool inside = offset <= static_cast<unsigned long long>(size);
  position = inside ? size - static_cast<long long>(offset) : 0;
  return inside;
}

}  // namespace

cMemIOTarget::cMemIOTarget(long long pageSize)
    : pageSize(pageSize >= 128 && pageSize <= 0x7FFFFFFF ? pageSize : 65536) {}

unsigned char* cMemIOTarget::page(long long index) {
  if (index == lastIndex) return lastPage;
  _typebuf<unsigned char>* found = pages.find(index);
  if (!found) return nullptr;
  lastIndex = index;
  lastPage = found->ptr;
  return lastPage;
}

unsigned char* cMemIOTarget::makePage(long long index) {
  try {
    _typebuf<unsigned char>* made = pages.insert(index);
    if (!made->count) {
      try {
        made->set(pageSize);
      } catch (const std::bad_alloc&) {
        pages.dettach(index);
        return nullptr;
      }
      std::memset(made->ptr, 0, static_cast<size_t>(pageSize));
    }
    lastIndex = index;
    lastPage = made->ptr;
    return lastPage;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void cMemIOTarget::dropPagesFrom(long long index) {
  if (index == 0 && pages.root) {
    pages.destroyRec(pages.root);
    pages.root = nullptr;
  }
  while (pages.root) {
    auto* last = pages.rightmost(pages.root);
    if (last->key < index) break;
    pages.dettach(last);
  }
  if (lastIndex >= index) {
    lastIndex = -1;
    lastPage = nullptr;
  }
}

unsigned long long cMemIOTarget::size() { return static_cast<unsigned long long>(fileSize); }

unsigned int cMemIOTarget::read(void* buf, unsigned int count) {
  long long n = smaller<long long>(count, fileSize - position);
  if (!buf || n <= 0) return 0;
  unsigned char* out = static_cast<unsigned char*>(buf);
  if (n == 1) {
    unsigned char* p = page(position / pageSize);
    *out = p ? p[position % pageSize] : 0;
    ++position;
    return 1;
  }
  for (long long done = 0; done < n;) {
    long long offset = position % pageSize;
    long long step = smaller(pageSize - offset, n - done);
    if (unsigned char* p = page(position / pageSize))
      std::memcpy(out + done, p + offset, static_cast<size_t>(step));
    else
      std::memset(out + done, 0, static_cast<size_t>(step));
    position += step;
    done += step;
  }
  return static_cast<unsigned int>(n);
}

unsigned int cMemIOTarget::write(void* buf, unsigned int count) {
  if (!buf || !count) return 0;
  long long n = smaller<long long>(count, kMaxPosition - position);
  const unsigned char* in = static_cast<const unsigned char*>(buf);
  long long done = 0;
  while (done < n) {
    long long index = position / pageSize;
    long long offset = position % pageSize;
    long long step = smaller(pageSize - offset, n - done);
    unsigned char* p = page(index);
    if (!p && !(p = makePage(index))) break;
    // copy() feeds this from its own pages, so source and target may overlap.
    std::memmove(p + offset, in + done, static_cast<size_t>(step));
    position += step;
    done += step;
  }
  if (position > fileSize) fileSize = position;
  return static_cast<unsigned int>(done);
}

bool cMemIOTarget::set_fp(unsigned long long pos) { return seekInside(fileSize, pos, position); }

bool cMemIOTarget::set_fp_end(unsigned long long offset) { return seekBeforeEnd(fileSize, offset, position); }

bool cMemIOTarget::set_eof(unsigned long long length) {
  if (length > static_cast<unsigned long long>(kMaxPosition)) return false;
  long long len = static_cast<long long>(length);
  if (len == 0) {
    reset();
    return true;
  }
  dropPagesFrom(len / pageSize + (len % pageSize ? 1 : 0));
  // The cut-off tail of the last page must read as zeros if the size grows again.
  if (len % pageSize) {
    if (unsigned char* p = page(len / pageSize))
      std::memset(p + len % pageSize, 0, static_cast<size_t>(pageSize - len % pageSize));
  }
  fileSize = len;
  if (position > len) position = len;
  return true;
}

void cMemIOTarget::close() { reset(); }

void cMemIOTarget::reset() {
  dropPagesFrom(0);
  position = 0;
  fileSize = 0;
}

bool cMemIOTarget::valid() { return true; }

int cMemIOTarget::typeOf() { return 2; }

bool cMemIOTarget::toBuffer(_typebuf<unsigned char>& out) {
  try {
    out.set(fileSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!fileSize) return true;
  std::memset(out.ptr, 0, static_cast<size_t>(fileSize));
  for (auto* item = pages.find_ge(0); item; item = pages.next(item)) {
    long long at = item->key * pageSize;
    if (at >= fileSize) break;
    std::memcpy(out.ptr + at, item->value.ptr, static_cast<size_t>(smaller(pageSize, fileSize - at)));
  }
  return true;
}

bool cMemIOTarget::fromBuffer(const void* data, long long length) {
  reset();
  if (!data || length <= 0) return true;
  const unsigned char* in = static_cast<const unsigned char*>(data);
  for (long long at = 0; at < length; at += pageSize) {
    unsigned char* p = makePage(at / pageSize);
    if (!p) {
      reset();
      return false;
    }
    std::memcpy(p, in + at, static_cast<size_t>(smaller(pageSize, length - at)));
  }
  fileSize = length;
  return true;
}

long long cMemIOTarget::copy(long long from, long long count) {
  if (from < 0 || count <= 0 || from >= fileSize) return 0;
  count = smaller(count, fileSize - from);
  long long done = 0;
  while (done < count) {
    long long src = from + done;
    long long offset = src % pageSize;
    long long step = smaller(pageSize - offset, count - done);
    if (unsigned char* p = page(src / pageSize)) {
      unsigned int written = write(p + offset, static_cast<unsigned int>(step));
      done += written;
      if (written < step) break;
    } else {
      // A gap stays a gap: nothing to store, the bytes read as zeros anyway.
      if (step > kMaxPosition - position) break;
      position += step;
      if (position > fileSize) fileSize = position;
      done += step;
    }
  }
  return done;
}

bool cBufWrapperIO::wrap(void* data, long long size, bool writable) {
  bool usable = size >= 0 && (data || size == 0);
  buffer = usable ? data : nullptr;
  bufSize = usable ? size : 0;
  position = 0;
  readOnly = usable && !writable;
  return usable;
}

unsigned long long cBufWrapperIO::size() { return static_cast<unsigned long long>(bufSize); }

unsigned int cBufWrapperIO::read(void* buf, unsigned int count) {
  if (!buffer || !buf) return 0;
  long long n = smaller<long long>(count, bufSize - position);
  if (n <= 0) return 0;
  const unsigned char* from = static_cast<const unsigned char*>(buffer) + position;
  if (n == 1)
    *static_cast<unsigned char*>(buf) = *from;
  else
    std::memcpy(buf, from, static_cast<size_t>(n));
  position += n;
  return static_cast<unsigned int>(n);
}

unsigned int cBufWrapperIO::write(void* buf, unsigned int count) {
  if (!buffer || !buf || readOnly) return 0;
  long long n = smaller<long long>(count, bufSize - position);
  if (n <= 0) return 0;
  std::memmove(static_cast<unsigned char*>(buffer) + position, buf, static_cast<size_t>(n));
  position += n;
  return static_cast<unsigned int>(n);
}

// Offsets above the signed range count as negative and end up at the size too.
bool cBufWrapperIO::set_fp(unsigned long long pos) { return seekInside(bufSize, pos, position); }

bool cBufWrapperIO::set_fp_end(unsigned long long offset) { return seekBeforeEnd(bufSize, offset, position); }

bool cBufWrapperIO::set_eof(unsigned long long length) {
  return length == static_cast<unsigned long long>(bufSize);
}

void cBufWrapperIO::close() {
  buffer = nullptr;
  bufSize = 0;
  position = 0;
  readOnly = false;
}

bool cBufWrapperIO::valid() { return buffer != nullptr; }

int cBufWrapperIO::typeOf() { return 2; }

void cFileIOSubRange::wrap(cFileIOTarget* newTarget, unsigned long long newStart,
                           unsigned long long newLength) {
  target = newTarget;
  position = 0;
  if (!target) {
    start = length = 0;
    return;
  }
  unsigned long long s = target->size();
  start = smaller(newStart, s);
  length = smaller(newLength, s - start);
}

unsigned long long cFileIOSubRange::size() { return length; }

unsigned int cFileIOSubRange::clip(unsigned int count) const {
  return static_cast<unsigned int>(smaller<unsigned long long>(count, length - position));
}

// A target's answer above the count asked for is its error mark, never a
// number of bytes; the window stays where it was.
unsigned int cFileIOSubRange::transfer(void* buf, unsigned int count,
                                       unsigned int (cFileIOTarget::*op)(void*, unsigned int)) {
  unsigned int n = target ? clip(count) : 0;
  if (!n || !target->set_fp(start + position)) return 0;
  unsigned int done = (target->*op)(buf, n);
  if (done > n) return 0;
  position += done;
  return done;
}

unsigned int cFileIOSubRange::read(void* buf, unsigned int count) {
  return transfer(buf, count, &cFileIOTarget::read);
}

unsigned int cFileIOSubRange::write(void* buf, unsigned int count) {
  return transfer(buf, count, &cFileIOTarget::write);
}

bool cFileIOSubRange::set_fp(unsigned long long pos) {
  if (!target) return false;
  if (pos > length) {
    position = length;
    target->set_fp(start + length);
    return false;
  }
  position = pos;
  return target->set_fp(start + pos);
}

bool cFileIOSubRange::set_fp_end(unsigned long long offset) {
  if (!target) return false;
  if (offset > length) {
    position = 0;
    target->set_fp(start);
    return false;
  }
  position = length - offset;
  return target->set_fp(start + position);
}

bool cFileIOSubRange::set_eof(unsigned long long) { return false; }

void cFileIOSubRange::close() {}

bool cFileIOSubRange::valid() { return target && length; }

cMemBufferedIO::~cMemBufferedIO() { delete ownedTarget; }

bool cMemBufferedIO::ref(cFileIOTarget* newTarget, long long cacheSize) {
  // Attaching the target it already owns must not free it under the caller.
  if (ownedTarget != newTarget) delete ownedTarget;
  ownedTarget = nullptr;
  target = nullptr;
  position = 0;
  filled = 0;
  // Fills go through one read, whose count is 32-bit.
  if (!newTarget || cacheSize < 0 || cacheSize > 0x7FFFFFFF) return false;
  try {
    cache.set(cacheSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
  dropCache();
  target = newTarget;
  target->set_fp(0);
  targetSize = target->size();
  return true;
}

bool cMemBufferedIO::set(cFileIOTarget* newTarget, long long cacheSize) {
  bool attached = ref(newTarget, cacheSize);
  // Handed over either way, so a failed attach does not leak it.
  ownedTarget = newTarget;
  return attached;
}

unsigned long long cMemBufferedIO::size() { return target ? targetSize : 0; }

unsigned int cMemBufferedIO::readTarget(void* buf, unsigned int count) {
  if (!target->set_fp(position)) return 0;
  unsigned int got = target->read(buf, count);
  return got > count ? 0 : got;
}

unsigned int cMemBufferedIO::read(void* buf, unsigned int count) {
  if (!count || !target || !buf) return 0;
  unsigned char* out = static_cast<unsigned char*>(buf);
  unsigned int done = 0;
  if (cursor < filled) {
    if (count == 1) {
      *out = cache.ptr[cursor++];
      ++position;
      return 1;
    }
    done = static_cast<unsigned int>(smaller<long long>(count, filled - cursor));
    std::memcpy(out, cache.ptr + cursor, done);
    cursor += done;
    position += done;
    if (done == count) return done;
  }
  unsigned int rest = count - done;
  // A request the cache could at most just hold gains nothing from a copy through it.
  if (rest >= cache.count) {
    dropCache();
    unsigned int got = readTarget(out + done, rest);
    position += got;
    return done + got;
  }
  filled = readTarget(cache.ptr, static_cast<unsigned int>(cache.count));
  unsigned int take = static_cast<unsigned int>(smaller<long long>(rest, filled));
  std::memcpy(out + done, cache.ptr, take);
  cursor = take;
  position += take;
  return done + take;
}

// Writes land at the logical position, not wherever the last fill left the
// target, and the cache is dropped since it may hold the old bytes.
unsigned int cMemBufferedIO::write(void* buf, unsigned int count) {
  if (!target) return 0;
  dropCache();
  if (!target->set_fp(position)) return 0;
  unsigned int put = target->write(buf, count);
  if (put > count) return 0;
  position += put;
  if (position > targetSize) targetSize = position;
  return put;
}

bool cMemBufferedIO::set_fp(unsigned long long pos) {
  if (!target) return false;
  if (pos < position) {
    unsigned long long back = position - pos;
    if (cursor < cache.count && back <= static_cast<unsigned long long>(cursor))
      cursor -= static_cast<long long>(back);
    else
      dropCache();
  } else if (pos > position) {
    unsigned long long ahead = pos - position;
    if (ahead < static_cast<unsigned long long>(cache.count - cursor))
      cursor += static_cast<long long>(ahead);
    else
      dropCache();
  }
  position = pos;
  return true;
}

bool cMemBufferedIO::set_fp_end(unsigned long long offset) {
  if (!target) return false;
  dropCache();
  if (offset > targetSize) {
    position = 0;
    return false;
  }
  position = targetSize - offset;
  return true;
}

bool cMemBufferedIO::set_eof(unsigned long long length) { return target && target->set_eof(length); }

void cMemBufferedIO::close() {
  delete ownedTarget;
  ownedTarget = nullptr;
  target = nullptr;
  cache.set(0);
  cursor = 0;
  filled = 0;
  position = 0;
  targetSize = 0;
}

bool cMemBufferedIO::valid() { return target && target->valid(); }
