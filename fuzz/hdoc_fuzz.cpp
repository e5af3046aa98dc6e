// The document loader over arbitrary bytes, and every language it loads laid
// out and drawn, so the boxes' pointers into the tables are used too.
//
// Mutations of compressed bytes rarely inflate, so an input whose first byte
// is odd is taken as the plain parts of a document instead: u16 font-table
// length, the font table, u16 link-table length, the link table, and the
// record stream of one language; they are compressed here.
#include <cstdint>
#include <vector>

#include "cihlpdoc/sidocloader.h"
#include "compression/zdeflate.h"
#include "support/fixedcanvas.h"

namespace {

using tBytes = std::vector<unsigned char>;

void putPacked(tBytes& doc, const uint8_t* plain, size_t len, bool withId) {
  if (withId) doc.push_back(0);
  tBytes packed(len + len / 8 + 64);
  cZDeflate deflater(1);
  const unsigned int n = len ? deflater.deflate(plain, static_cast<unsigned int>(len), packed.data(),
                                                static_cast<unsigned int>(packed.size()))
                             : 0;
  for (int i = 0; i < 4; ++i) doc.push_back(static_cast<unsigned char>(n >> (8 * i)));
  doc.insert(doc.end(), packed.begin(), packed.begin() + n);
}

// False when the input is too short for the parts it names.
bool assemble(const uint8_t* data, size_t size, tBytes& doc) {
  const uint8_t* parts[2];
  size_t lens[2];
  for (int i = 0; i < 2; ++i) {
    if (size < 2) return false;
    lens[i] = data[0] | data[1] << 8;
    data += 2;
    size -= 2;
    if (lens[i] > size) return false;
    parts[i] = data;
    data += lens[i];
    size -= lens[i];
  }
  doc.assign({'Z', 'V', 'K', 'H', 'D', 'O', 'C', 'F'});
  putPacked(doc, data, size, true);
  doc.push_back(0xFF);
  putPacked(doc, parts[0], lens[0], false);
  putPacked(doc, parts[1], lens[1], false);
  doc.insert(doc.end(), 4, 0);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  tBytes bytes;
  if (data[0] & 1) {
    if (!assemble(data + 1, size - 1, bytes)) return 0;
  } else {
    bytes.assign(data + 1, data + size);
  }
  cSiDocLoader loader;
  if (!loader.load(bytes.data(), static_cast<long long>(bytes.size()))) return 0;
  for (int lang = 0; lang < 256; ++lang) {
    cSiDocContainer* root = loader.forLang(lang);
    if (!root) continue;
    cFixedMetricCanvas canvas(300, 300);
    sSiDocDrawProps props;
    props.right = 300;
    sSize size;
    root->wantsSize(&canvas, props, size);
    root->draw(&canvas, props, size);
  }
  return 0;
}
