// Feeds a reply to the response reader in reads of a size chosen by the
// first input byte, and checks what reaches the sink against what the head
// announced.
#include <cstdint>
#include <cstring>

#include "base/memio.h"
#include "nethttp/httpresponse.h"

namespace {

// Reads of at most `cap` bytes, as a socket might deliver them.
class CappedStream : public cBufWrapperIO {
 public:
  CappedStream(const uint8_t* data, size_t size, unsigned int cap)
      : cBufWrapperIO(const_cast<uint8_t*>(data), static_cast<long long>(size), false), cap(cap) {}
  unsigned int read(void* buf, unsigned int count) override {
    return cBufWrapperIO::read(buf, count < cap ? count : cap);
  }

 private:
  unsigned int cap;
};

class CheckingSink : public cHttpResponse {
 public:
  bool onHeaderDone() override {
    if (RC() == 0 || RC() > 999 || headDone) __builtin_trap();
    headDone = true;
    return true;
  }
  bool onData(const unsigned char* data, long long length, unsigned long long offset) override {
    if (!headDone || length <= 0 || length > 65536 || offset != delivered) __builtin_trap();
    volatile unsigned char touch = data[0] ^ data[length - 1];
    (void)touch;
    delivered += static_cast<unsigned long long>(length);
    if (contentLength() != ~0ull && delivered > contentLength()) __builtin_trap();
    return true;
  }
  bool headDone = false;
  unsigned long long delivered = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  unsigned int cap = data[0] == 0 ? 65536u : data[0];
  CappedStream stream(data + 1, size - 1, cap);
  CheckingSink sink;
  bool complete = sink.processResponse(&stream);
  if (complete && (!sink.headDone || sink.delivered != sink.contentLength())) __builtin_trap();
  const char* length = sink.getHeaderVal("Content-Length");
  if (length) (void)std::strlen(length);
  return 0;
}
