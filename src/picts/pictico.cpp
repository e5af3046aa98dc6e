#include "picts/pictico.h"

#include "base/memio.h"
#include "picts/littleendian.h"
#include "picts/pictdib.h"
#include "picts/pictpng.h"

namespace {

struct sHeader {
  unsigned int type = 0;
  int count = 0;
};

// Callers rewind first, so the header lies at the current position.
bool readHeader(cFileIOTarget* io, sHeader& h, bool needType) {
  unsigned char d[6];
  if (!io) return false;
  if (!io->readf(d, 6) || le16(d) != 0 || le16(d + 4) == 0) return false;
  h.type = le16(d + 2);
  h.count = static_cast<int>(le16(d + 4));
  return !needType || h.type == 1 || h.type == 2;
}

// Opens the window over image `i`'s data.
bool openImage(cFileIOTarget* io, int i, cFileIOSubRange& window) {
  unsigned char e[16];
  if (!io->set_fp(6 + 16ULL * static_cast<unsigned int>(i)) || !io->readf(e, 16)) return false;
  window.wrap(io, le32(e + 12), le32(e + 8));
  return window.set_fp(0);
}

// An image's size comes from its data, never from the directory entry.
bool probe(cFileIOSubRange& window, cPictBase::sPictInfo& info) {
  window.set_fp(0);
  if (cPictDIB::validFor(&window, &info, true)) return true;
  window.set_fp(0);
  return cPictPNG::validFor(&window, &info);
}

// The image with the largest area among those within the limits, the first
// of equal areas winning; -1 when none fits or any image is neither format.
int chooseImage(cFileIOTarget* io, const sHeader& h, long long const* maxW, long long const* maxH,
                cPictBase::sPictInfo* best) {
  int chosen = -1;
  long long bestArea = -1;
  for (int i = 0; i < h.count; ++i) {
    cFileIOSubRange window;
    cPictBase::sPictInfo info;
    if (!openImage(io, i, window) || !probe(window, info)) return -1;
    if ((maxW && info.width > *maxW) || (maxH && info.height > *maxH)) continue;
    long long area = info.width * info.height;
    if (area > bestArea) {
      bestArea = area;
      chosen = i;
      if (best) *best = info;
    }
  }
  return chosen;
}

// PNG first, then the icon-mode bitmap; the window is rewound for each.
bool decodeImage(cFileIOSubRange& window, cPictBase& out) {
  cPictPNG png;
  window.set_fp(0);
  if (png.decode(&window)) {
    png.moveTo(out);
    return true;
  }
  cPictDIB dib;
  dib.setUseAlphaBp(true);
  dib.setForcedPalletteLoad(true);
  window.set_fp(0);
  if (!dib.decode(&window)) return false;
  dib.moveTo(out);
  return true;
}

}  // namespace

bool cPictICO::validFor(cFileIOTarget* io, sPictInfo* info) {
  sHeader h;
  sPictInfo best;
  if (!readHeader(io, h, true) || chooseImage(io, h, nullptr, nullptr, &best) < 0) return false;
  if (info) {
    *info = best;
    info->hasPreview = true;
  }
  return true;
}

int cPictICO::getNumPages(cFileIOTarget* io) {
  sHeader h;
  return readHeader(io, h, false) ? h.count : 0;
}

bool cPictICO::getPageSize(cFileIOTarget* io, int page, int& w, int& h) {
  sHeader head;
  cFileIOSubRange window;
  sPictInfo info;
  if (page < 0 || !readHeader(io, head, false) || page >= head.count || !openImage(io, page, window) ||
      !probe(window, info))
    return false;
  w = static_cast<int>(info.width);
  h = static_cast<int>(info.height);
  return true;
}

bool cPictICO::decode(cFileIOTarget* io) {
  myPage = 0;
  return decodeInt(io);
}

bool cPictICO::decodePage(cFileIOTarget* io, int page) {
  if (page < 0) return false;
  myPage = page;
  return decodeInt(io);
}

bool cPictICO::decodeInt(cFileIOTarget* io) {
  sHeader h;
  cFileIOSubRange window;
  sPictInfo info;
  if (!readHeader(io, h, true) || myPage >= h.count || !openImage(io, myPage, window)) return false;
  cPictPNG png;
  cPictDIB dib;
  cPictBase* inner = nullptr;
  window.set_fp(0);
  if (cPictPNG::validFor(&window, &info)) {
    inner = &png;
  } else {
    window.set_fp(0);
    if (!cPictDIB::validFor(&window, &info, true)) return false;
    dib.setUseAlphaBp(true);
    dib.setForcedPalletteLoad(true);
    inner = &dib;
  }
  window.set_fp(0);
  return decodeThrough(*inner, &window);
}

bool cPictICO::getPreview(cFileIOTarget* io, cPictBase& out, long long const* maxW, long long const* maxH) {
  sHeader h;
  cFileIOSubRange window;
  if (!readHeader(io, h, true)) return false;
  int chosen = chooseImage(io, h, maxW, maxH, nullptr);
  return chosen >= 0 && openImage(io, chosen, window) && decodeImage(window, out);
}

bool cPictICO::decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                                 bool allowDecode, unsigned int background) {
  sHeader h;
  cFileIOSubRange window;
  cPictDummy decoded;
  if (page < 0 || !allowDecode || !readHeader(io, h, true) || page >= h.count) return false;
  return openImage(io, page, window) && decodeImage(window, decoded) &&
         imgToPreview(decoded, out, maxW, maxH, background);
}
