// Feeds a reply to the response reader in reads of a size chosen by the
// first input byte, and checks what reaches the sink against what the head
// announced.
#include <cstdint>
#include <cstring>

#include "nethttp/httpresponse.h"

namespace {

class CappedStream : public cFileIOTarget {
 public:
  CappedStream(const uint8_t* data, size_t size, unsigned int cap) : data(data), left(size), cap(cap) {}
  unsigned long long size() override { return ~0ull; }
  unsigned int read(void* buf, unsigned int count) override {
    size_t n = count < cap ? count : cap;
    if (n > left) n = left;
    std::memcpy(buf, data, n);
    data += n;
    left -= n;
    return static_cast<unsigned int>(n);
  }
  bool set_fp(unsigned long long) override { return false; }
  bool set_fp_end(unsigned long long) override { return false; }
  bool set_eof(unsigned long long) override { return false; }
  void close() override {}
  bool valid() override { return true; }

 private:
  const uint8_t* data;
  size_t left;
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
