// Text files of any content: the first byte picks the stored encoding and
// the block size, the rest is the file. Every line must be whole UTF-8-sized
// output of at most the block size in units, and reading must end.
#include <cstdint>
#include <cstdlib>

#include "base/memio.h"
#include "base/textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto type = static_cast<cTextFileIO::eTextContentType>(data[0] % 6);
  const long long block = 1 + (data[0] >> 3);
  cBufWrapperIO file(const_cast<uint8_t*>(data + 1), static_cast<long long>(size - 1), false);
  cTextFileIO text;
  text.setMaxStrLen(block);
  if (!text.open(&file, type)) return 0;
  _typebuf<char> line;
  // Each answer, true or false, moves on by at least one unit.
  for (size_t calls = 0; calls <= size + 1; ++calls) {
    bool got = text.gets(line);
    if (got && line.count > 3 * block) std::abort();
    if (!got && !text.lineTooLong()) return 0;
  }
  std::abort();
}
