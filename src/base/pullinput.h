// Input a decoder takes as it goes: what it has not asked for is never read,
// so a stream declared far longer than its data costs only its data.
#pragma once

#include <cstddef>

class cPullInput {
 public:
  cPullInput(const unsigned char* data, size_t size) : data(data), size(size) {}
  cPullInput(const cPullInput&) = delete;
  cPullInput& operator=(const cPullInput&) = delete;
  virtual ~cPullInput() = default;

  // Makes `data` hold at least `want` bytes, or as many as there are; the
  // bytes may move. False when none could be added. Input held whole has
  // none to add.
  virtual bool pull(size_t want) {
    (void)want;
    return false;
  }

  const unsigned char* data;
  size_t size;
  // Whether `data` holds all there is: pulling would add nothing.
  bool complete = true;
};
