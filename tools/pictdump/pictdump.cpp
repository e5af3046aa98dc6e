// pictdump INPUT OUTPUT.pam: decodes the first page of any picture the
// library reads and writes it as a PAM file (RGB_ALPHA, top row first, 8 or
// 16 bits per channel as decoded), so that other tools can compare it.
#include <cstdio>
#include <vector>

#include "base/targets.h"
#include "picts/pictbase.h"

namespace {

int refuse(const char* reason, const char* path) {
  std::fprintf(stderr, "pictdump: %s: %s\n", path, reason);
  return 1;
}

// Channels in PAM order, big-endian when 16 bits wide.
void putPixel(std::vector<unsigned char>& out, unsigned long long v, bool sixteen) {
  const int shift[4] = {2, 1, 0, 3};  // red, green, blue, alpha of 0xAARRGGBB
  for (int s : shift) {
    if (sixteen) {
      unsigned int c = (v >> (16 * s)) & 0xFFFF;
      out.push_back(static_cast<unsigned char>(c >> 8));
      out.push_back(static_cast<unsigned char>(c));
    } else {
      out.push_back(static_cast<unsigned char>(v >> (8 * s)));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pictdump INPUT OUTPUT.pam\n");
    return 2;
  }
  cFileIO in;
  if (!in.open(argv[1], fmRead)) return refuse("cannot be opened", argv[1]);
  cPictBase::sPictInfo info;
  cPtr<cPictBase> probe(cPictBase::mkPicture(&in, &info));
  if (!probe) {
    const char* kind = cPictBase::unreadableKind(&in);
    return refuse(kind ? kind : "not a picture format this library reads", argv[1]);
  }
  cPtr<cPictBase> pict(cPictBase::mkPicture(&in, nullptr));
  if (!pict) return refuse("damaged, or larger than the library accepts", argv[1]);

  long long w = pict->width(), h = pict->height();
  bool sixteen = pict->is16Bpp();
  std::vector<unsigned char> body;
  body.reserve(static_cast<size_t>(w * h * (sixteen ? 8 : 4)));
  for (long long y = h - 1; y >= 0; --y)  // buffer rows are stored bottom-up
    for (long long x = 0; x < w; ++x)
      putPixel(body, sixteen ? pict->raw16Bpp()[y * w + x] : pict->raw8Bpp()[y * w + x], sixteen);

  FILE* out = std::fopen(argv[2], "wb");
  if (!out) return refuse("cannot be written", argv[2]);
  std::fprintf(out, "P7\nWIDTH %lld\nHEIGHT %lld\nDEPTH 4\nMAXVAL %d\nTUPLTYPE RGB_ALPHA\nENDHDR\n", w, h,
               sixteen ? 65535 : 255);
  bool written = std::fwrite(body.data(), 1, body.size(), out) == body.size();
  if (std::fclose(out) != 0 || !written) return refuse("cannot be written", argv[2]);
  return 0;
}
