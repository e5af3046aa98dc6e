// Language blocks of any content: whatever the reader takes must be written
// back by the writer and read again to the same block. An input starting
// with "P" is a plain table that is packed here first, so that the section
// walk sees more than what survives a damaged zlib checksum.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ciom/ciomlang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> packed;
  if (size > 0 && data[0] == 'P') {
    uLongf room = compressBound(static_cast<uLong>(size - 1));
    packed.assign(reinterpret_cast<const uint8_t*>("CIOMLAFICIOMBASEENG\0"),
                  reinterpret_cast<const uint8_t*>("CIOMLAFICIOMBASEENG\0") + 20);
    for (int i = 0; i < 4; ++i) packed.push_back(static_cast<uint8_t>((size - 1) >> (8 * i)));
    size_t at = packed.size();
    packed.resize(at + room);
    if (compress2(packed.data() + at, &room, data + 1, static_cast<uLong>(size - 1), 5) != Z_OK) return 0;
    packed.resize(at + room);
    data = packed.data();
    size = packed.size();
  }
  cCiomLang store;
  if (!loadCiomLangData(data, static_cast<long long>(size), store)) return 0;

  _typebuf<unsigned char> block, again;
  cCiomLang reread;
  if (!saveCiomLangData("CIOMBASE", store, block) || !loadCiomLangData(block.ptr, block.count, reread) ||
      !saveCiomLangData("CIOMBASE", reread, again) || again.count != block.count ||
      std::memcmp(again.ptr, block.ptr, block.count) != 0)
    std::abort();
  return 0;
}
