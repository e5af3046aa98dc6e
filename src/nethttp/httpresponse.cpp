#include "nethttp/httpresponse.h"

#include <cstring>

#include "base/buffers.h"
#include "base/str.h"
#include "base/utils.h"
#include "nethttp/limits.h"

namespace {

constexpr unsigned long long kNoLength = ~0ull;

// Only an unfinished line stays in the buffer between reads, and the line
// length bound refuses it before it could fill the buffer.
static_assert(kHttpMaxHeaderLineLength + 2 < kHttpBufferSize);

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

cHttpResponse::cHttpResponse() : status(0), length(0) { headers.depthLimit = 2048; }

cHttpResponse::~cHttpResponse() = default;

bool cHttpResponse::onData(const unsigned char*, long long, unsigned long long) { return true; }

bool cHttpResponse::onHeaderDone() { return true; }

const char* cHttpResponse::getHeaderVal(const char* name) {
  if (!name) return nullptr;
  _guardchar<char>* value = headers.find(cStringKey(name, -1));
  return value ? value->ptr : nullptr;
}

bool cHttpResponse::parseHeaders(const unsigned char* data, unsigned int& size, bool& more) {
  unsigned int used = 0;
  while (more && used < size) {
    const unsigned char* line = data + used;
    unsigned int left = size - used;
    const auto* cr = static_cast<const unsigned char*>(std::memchr(line, '\r', left));
    unsigned int lineSize = cr ? static_cast<unsigned int>(cr - line) : left;
    if (lineSize > kHttpMaxHeaderLineLength) return false;
    // The line end is the CR and the byte after it; until both are here the
    // line waits, so a read that stops after the CR leaves nothing stray.
    if (!cr || lineSize + 2 > left) break;
    if (status == 0) {
      if (lineSize < 12 || std::memcmp(line, "HTTP/1.", 7) != 0 || !isDigit(line[9]) || !isDigit(line[10]) ||
          !isDigit(line[11]))
        return false;
      status = (line[9] - '0') * 100u + (line[10] - '0') * 10u + (line[11] - '0');
      if (status == 0) return false;
    } else if (lineSize == 0) {
      more = false;
    } else if (!parseLine(line, lineSize)) {
      return false;
    }
    used += lineSize + 2;
  }
  size = used;
  return true;
}

bool cHttpResponse::parseLine(const unsigned char* line, unsigned int size) {
  if (++headerCount > kHttpMaxHeaderCount) return false;
  const auto* colon = static_cast<const unsigned char*>(std::memchr(line, ':', size));
  if (!colon || colon == line || colon == line + size - 1) return false;
  unsigned int nameSize = static_cast<unsigned int>(colon - line);
  // The byte after the colon is the separator, whatever it is.
  unsigned int valueAt = nameSize + 2;
  _guardchar<char>* value = headers.insert(cStringKey(reinterpret_cast<const char*>(line), nameSize));
  value->set(reinterpret_cast<const char*>(line) + valueAt, static_cast<long long>(size - valueAt));
  if (nameSize != 14 || __stricmp(reinterpret_cast<const char*>(line), "Content-Length", 14) != 0)
    return true;

  unsigned long long announced = strToU64(value->ptr);
  // A blank value reads as 0, which would pass any body off as complete
  // and empty; it says no more than an unreadable one.
  if (announced == 0 && !std::strchr(value->ptr, '0')) announced = kNoLength;
  if (announced != kNoLength && announced > kHttpMaxBodyLength) return false;
  // Two different lengths leave the body's end in doubt.
  if (lengthSeen && announced != length) return false;
  lengthSeen = true;
  length = announced;
  return true;
}

bool cHttpResponse::deliver(const unsigned char* data, unsigned long long size, unsigned long long& offset) {
  // Whatever the peer sends beyond the announced length is not the body.
  if (length != kNoLength && size > length - offset) size = length - offset;
  if (size == 0) return true;
  if (!onData(data, static_cast<long long>(size), offset)) return false;
  offset += size;
  return length != kNoLength || offset <= kHttpMaxBodyLength;
}

bool cHttpResponse::processResponse(cFileIOTarget* stream) {
  if (!stream || !stream->valid()) return false;
  status = 0;
  length = kNoLength;
  cFasterTreeList<cStringKey, _guardchar<char> > gone;
  headers.moveTo(gone);
  headerCount = 0;
  lengthSeen = false;

  _typebuf<unsigned char> buffer;
  buffer.set(kHttpBufferSize);
  unsigned int filled = 0;
  bool more = true;
  while (more) {
    unsigned int room = kHttpBufferSize - filled;
    unsigned int got = stream->read(buffer.ptr + filled, room);
    if (got == 0 || got > room) return false;
    filled += got;
    unsigned int used = filled;
    if (!parseHeaders(buffer.ptr, used, more)) return false;
    std::memmove(buffer.ptr, buffer.ptr + used, filled - used);
    filled -= used;
  }
  if (!onHeaderDone()) return false;

  unsigned long long offset = 0;
  if (!deliver(buffer.ptr, filled, offset)) return false;
  while (length == kNoLength || offset < length) {
    unsigned int ask = kHttpBufferSize;
    if (length != kNoLength && length - offset < ask) ask = static_cast<unsigned int>(length - offset);
    unsigned int got = stream->read(buffer.ptr, ask);
    // The peer closed or went silent before the body was complete.
    if (got == 0 || got > ask) return false;
    if (!deliver(buffer.ptr, got, offset)) return false;
  }
  return true;
}
