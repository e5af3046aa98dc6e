#include "picts/pictdib.h"

#include <cstring>
#include <new>

#include "base/memio.h"
#include "picts/bytesource.h"
#include "picts/littleendian.h"
#include "picts/pictjpeg.h"
#include "picts/pictpng.h"
#include "picts/streamskip.h"

namespace {

constexpr unsigned int fourCC(const char* s) {
  return static_cast<unsigned char>(s[0]) | static_cast<unsigned char>(s[1]) << 8 |
         static_cast<unsigned char>(s[2]) << 16 |
         static_cast<unsigned int>(static_cast<unsigned char>(s[3])) << 24;
}

enum eCompression : unsigned int {
  kPlain = 0,
  kRLE8 = 1,
  kRLE4 = 2,
  kBitFields = 3,
  kJPEG = 4,
  kPNG = 5,
  kAlphaBitFields = 6,
};
const unsigned int kRGB2 = fourCC("RGB2");
const unsigned int kRLE8Code = fourCC("RLE8");
const unsigned int kRLE4Code = fourCC("RLE4");

constexpr long long kMaxSide = 65536;
constexpr unsigned long long kBareDataLimit = 0x7FFFFFFF;

const unsigned int myStd16CPallette[16] = {
    0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA, 0xFFAA5500, 0xFFAAAAAA,
    0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF, 0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};

bool knownCompression(unsigned int c) {
  return c <= kAlphaBitFields || c == kRGB2 || c == kRLE8Code || c == kRLE4Code;
}
// A bitmap that carries a JPEG or PNG file says 0: the inner file knows.
bool knownBits(unsigned int b, unsigned int compression) {
  if (b == 0) return compression == kJPEG || compression == kPNG;
  return b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32;
}
long long magnitude(long long v) { return v < 0 ? -v : v; }

// Colours-used is a 32-bit count; more entries than indices can reach would
// only be read to be ignored.
long long paletteEntries(unsigned int bits, unsigned int colorsUsed) {
  long long full = 1LL << bits;
  return bits == 1 || colorsUsed == 0 || colorsUsed > full ? full : colorsUsed;
}

// Bytes of masks after a header too short to hold them: red, green and
// blue, and alpha with the alpha bit-field compression. Palette indices have
// no channels, and a bitmap of them no masks.
unsigned int masksAfter(unsigned int headerSize, unsigned int bits, unsigned int compression) {
  unsigned int end = compression == kBitFields ? 52 : compression == kAlphaBitFields ? 56 : 0;
  return bits > 8 && headerSize < end ? end - headerSize : 0;
}

// A channel mask turned into a shift and a widening onto 0..255. Narrow
// channels are widened by repeating their bits, so that full scale stays
// full scale (a 5-bit 31 and a 6-bit 63 both give 255); wider ones are
// scaled down, full scale to 255, in single precision as other readers do.
struct sChannel {
  unsigned int mask = 0;
  int shift = 0;
  float scale = 0;  // channels wider than eight bits
  unsigned char widened[256] = {};

  explicit sChannel(unsigned int m) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    int bits = 0;
    while (bits < 32 && (m >> shift) >> bits) ++bits;
    if (bits > 8) {
      scale = 255.0f / static_cast<float>(m >> shift);
      return;
    }
    for (unsigned int v = 0; v < (1u << bits); ++v) {
      unsigned int w = v << (8 - bits);
      for (int filled = bits; filled < 8; filled *= 2) w |= w >> filled;
      widened[v] = static_cast<unsigned char>(w);
    }
  }
  unsigned int of(unsigned int v) const {
    unsigned int raw = (v & mask) >> shift;
    return scale == 0 ? widened[raw] : static_cast<unsigned int>(static_cast<float>(raw) * scale);
  }
};

struct sMasks {
  sChannel red, green, blue, alpha;
  bool plain;  // the words already are 0xAARRGGBB (or 0x00RRGGBB without alpha)

  explicit sMasks(const unsigned int m[4])
      : red(m[0]),
        green(m[1]),
        blue(m[2]),
        alpha(m[3]),
        plain(m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF && (m[3] == 0xFF000000 || m[3] == 0)) {}

  unsigned int word(unsigned int v) const {
    if (plain) return alpha.mask ? v : v | 0xFF000000;
    unsigned int a = alpha.mask ? alpha.of(v) : 0xFF;
    return a << 24 | red.of(v) << 16 | green.of(v) << 8 | blue.of(v);
  }
};

bool zeroFrom(const unsigned char* row, long long from, long long to) {
  for (long long i = from; i < to; ++i)
    if (row[i]) return false;
  return true;
}

}  // namespace

bool cPictDIB::readHeader(cFileIOTarget* io, unsigned char* header, sInfo& info) {
  std::memset(header, 0, 124);
  if (!io->readf(header, 4)) return false;
  info = {};
  info.size = le32(header);
  if (info.size == 12) {
    if (!io->readf(header + 4, 8)) return false;
    info.width = le16(header + 4);
    info.height = le16(header + 6);
    info.planes = le16(header + 8);
    info.bits = le16(header + 10);
    return true;
  }
  if (info.size < 40 || info.size > 124 || !io->readf(header + 4, info.size - 4)) return false;
  info.width = static_cast<int>(le32(header + 4));
  info.height = static_cast<int>(le32(header + 8));
  info.planes = le16(header + 12);
  info.bits = le16(header + 14);
  info.compression = le32(header + 16);
  info.imageSize = le32(header + 20);
  info.colorsUsed = le32(header + 32);
  return true;
}

bool cPictDIB::validFor(cFileIOTarget* io, sPictInfo* info) { return validFor(io, info, false); }

bool cPictDIB::validFor(cFileIOTarget* io, sPictInfo* info, bool halveHeight) {
  unsigned char header[124];
  sInfo h;
  if (!io || !readHeader(io, header, h)) return false;
  // Rows stored top-down have a negative height, which decodes as well.
  if (h.width < 1 || h.width > kMaxSide || h.height == 0 || magnitude(h.height) > kMaxSide) return false;
  if (h.planes != 1 || !knownBits(h.bits, h.compression) || !knownCompression(h.compression)) return false;
  long long width = h.width, height = magnitude(h.height);
  if (halveHeight && (h.compression == kJPEG || h.compression == kPNG)) {
    // The stored height counts a mask the inner file has none of, and not
    // every writer doubles it: the inner file says its own size. One that
    // cannot say leaves the header's, so that the member fails only its own
    // decode and never the probe of the icon around it.
    innerSize(io, h, width, height);
  } else if (halveHeight) {
    height >>= 1;
  }
  if (info) {
    info->width = width;
    info->height = height;
    info->hasPreview = false;
  }
  return true;
}

// An icon's bitmap starts its stream, and its palette is always read.
void cPictDIB::innerSize(cFileIOTarget* io, const sInfo& h, long long& width, long long& height) {
  unsigned long long at = h.size;
  if (h.bits >= 1 && h.bits <= 8)
    at += 4ULL * static_cast<unsigned long long>(paletteEntries(h.bits, h.colorsUsed));
  cFileIOSubRange window(io, at, innerLength(h));
  sPictInfo inner;
  if (!window.set_fp(0) ||
      !(h.compression == kPNG ? cPictPNG::validFor(&window, &inner) : cPictJPEG::validFor(&window, &inner)))
    return;
  width = inner.width;
  height = inner.height;
}

// A PNG fills the image-size bytes; a JPEG runs to the end of the stream.
unsigned long long cPictDIB::innerLength(const sInfo& h) {
  return h.compression == kPNG ? h.imageSize : ~0ULL;
}

bool cPictDIB::isPicture(cFileIOTarget* io, sPictInfo* info) { return validFor(io, info, false); }

bool cPictDIB::decode(cFileIOTarget* io) { return decodeFrom(io, 0, nullptr); }

bool cPictDIB::readf(cFileIOTarget* io, void* buf, unsigned long long count) {
  if (count > 0xFFFFFFFFULL || !io->readf(buf, static_cast<unsigned int>(count))) return false;
  myRead += count;
  return true;
}

bool cPictDIB::skip(cFileIOTarget* io, unsigned long long count) {
  if (!skipBytes(io, count)) return false;
  myRead += count;
  return true;
}

bool cPictDIB::decodeFrom(cFileIOTarget* io, unsigned long long start, const sLayout* layout) {
  close();
  myPalette.set(0);
  myRendering = false;
  myStart = start;
  myRead = 0;
  if (!io || !readHeader(io, myHeader, myInfo)) return false;
  const sInfo& h = myInfo;
  myRead = h.size;
  if (h.width < 1 || h.width > kMaxSide || h.height == 0 || magnitude(h.height) > kMaxSide || h.planes != 1 ||
      !knownBits(h.bits, h.compression))
    return false;
  if (layout) {
    myLayout = *layout;
  } else {
    // No offset field says where the pixels start: they follow the header
    // and the bit-field masks a short header has right after it.
    myLayout.dataOffset = h.size + masksAfter(h.size, h.bits, h.compression);
    myLayout.dataLimit = h.imageSize ? myLayout.dataOffset + h.imageSize : kBareDataLimit;
  }
  if (!readPalette(io) || !readGap(io)) return false;

  myRows = magnitude(h.height);
  unsigned int c = h.compression;
  if (c == kJPEG || c == kPNG) return decodeEmbedded(io, c == kPNG);
  if (myUseAlphaBp) myRows >>= 1;
  if (myRows < 1) return false;
  myWidth = h.width;
  myHeight = myRows;
  myRendering = startExtRender();
  bool done = false;
  if (c == kPlain || c == kRGB2 || c == kBitFields || c == kAlphaBitFields) {
    done = decodeRGB(io, c == kBitFields || c == kAlphaBitFields);
    if (done && myUseAlphaBp && h.bits < 32) done = loadMergeAlpha(io);
  } else if ((c == kRLE8 || c == kRLE8Code) && !myUseAlphaBp) {
    done = decodeRLE8(io);
  } else if ((c == kRLE4 || c == kRLE4Code) && !myUseAlphaBp) {
    done = decodeRLE4(io);
  }
  if (myRendering) endExtRender();
  myRendering = false;
  return done;
}

bool cPictDIB::readPalette(cFileIOTarget* io) {
  const sInfo& h = myInfo;
  if (h.bits > 8 || h.bits == 0) return true;
  long long full = 1LL << h.bits, count = paletteEntries(h.bits, h.colorsUsed);
  unsigned long long entry = h.size == 12 ? 3 : 4;
  unsigned long long bytes = static_cast<unsigned long long>(count) * entry;
  if (myLayout.dataOffset > myRead) {
    if (bytes > myLayout.dataOffset - myRead) return false;
  } else if (myForcedPalletteLoad) {
    myLayout.dataOffset = myRead + bytes;
    myLayout.dataLimit += bytes;
  } else {
    if (h.bits == 8 || (h.bits == 1 && h.colorsUsed > 2)) return false;
    const unsigned int* defaults = myStd16CPallette;
    static const unsigned int kBlackWhite[2] = {0xFF000000, 0xFFFFFFFF};
    if (h.bits == 1) defaults = kBlackWhite;
    myPalette.set(full);
    std::memcpy(myPalette.ptr, defaults, static_cast<size_t>(full) * sizeof(unsigned int));
    return true;
  }
  return loadLegacyPalette(io, count);
}

// Reads `count` entries of the header's kind: four bytes (blue, green, red,
// unused) after an info header, three after a core header.
bool cPictDIB::loadLegacyPalette(cFileIOTarget* io, long long count) {
  int entry = myInfo.size == 12 ? 3 : 4;
  unsigned char raw[256 * 4];
  if (count < 1 || count > 256 || !readf(io, raw, static_cast<unsigned long long>(count) * entry))
    return false;
  myPalette.set(count);
  for (long long i = 0; i < count; ++i) {
    const unsigned char* p = raw + i * entry;
    myPalette.ptr[i] =
        0xFF000000u | static_cast<unsigned int>(p[2]) << 16 | static_cast<unsigned int>(p[1]) << 8 | p[0];
  }
  return true;
}

// The bytes between what was read and the pixels; those still inside the
// largest header reach the header copy, which is where the bit-field masks
// after a 40-byte header come from.
bool cPictDIB::readGap(cFileIOTarget* io) {
  if (myLayout.dataOffset <= myRead) return true;
  unsigned long long gap = myLayout.dataOffset - myRead;
  if (myRead < sizeof myHeader) {
    unsigned long long into = sizeof myHeader - myRead < gap ? sizeof myHeader - myRead : gap;
    if (!readf(io, myHeader + myRead, into)) return false;
    gap -= into;
  }
  return skip(io, gap);
}

bool cPictDIB::decodeRGB(cFileIOTarget* io, bool bitFields) {
  const sInfo& h = myInfo;
  unsigned int masks[4] = {0x7C00, 0x03E0, 0x001F, 0};
  if (bitFields)
    for (int k = 0; k < 4; ++k) masks[k] = le32(myHeader + 40 + 4 * k);
  if (h.bits == 32 && bitFields && !(masks[0] | masks[1] | masks[2] | masks[3])) return false;
  sMasks channels(masks);

  long long w = myWidth, rows = myRows;
  unsigned long long stride = (static_cast<unsigned long long>(w) * h.bits + 31) / 32 * 4;
  unsigned long long total = stride * static_cast<unsigned long long>(rows);
  unsigned long long limit = myLayout.dataLimit;
  if (stride > limit || total > limit || myLayout.dataOffset > limit - total) return false;
  // Rows are believed only when the stream holds them.
  unsigned long long size = io->size(), at = myStart + myRead;
  if (at > size || total > size - at) return false;
  if (h.bits == 1 && myPalette.count != 2) return false;

  _typebuf<unsigned char> line;
  _typebuf<unsigned int> words;
  try {
    line.set(static_cast<long long>(stride));
    if (myRendering) words.set(w);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!myRendering && !allocPixels(w, rows, false)) return false;
  // Most writers leave the fourth byte of a plain 32-bit bitmap 0 in every
  // pixel: such a bitmap has no alpha and is opaque. Icon members and
  // bit-field masks say what that byte is, so theirs stays as stored.
  unsigned int opaque = 0;
  if (h.bits == 32 && !bitFields && !myUseAlphaBp) {
    bool anyAlpha;
    if (!fourthByteUsed(io, line, anyAlpha)) return false;
    if (!anyAlpha) opaque = 0xFF000000u;
  }
  const unsigned int* pal = myPalette.ptr;
  long long palCount = myPalette.count;
  long long used = (w * h.bits + 7) / 8;
  for (long long r = 0; r < rows; ++r) {
    if (!readf(io, line.ptr, stride)) return false;
    long long dest = h.height > 0 ? r : rows - 1 - r;
    unsigned int* out = myRendering ? words.ptr : myPix8.ptr + dest * w;
    const unsigned char* p = line.ptr;
    switch (h.bits) {
      case 1:
        for (long long x = 0; x < w; ++x) out[x] = pal[(p[x >> 3] >> (7 - (x & 7))) & 1] | 0xFF000000u;
        break;
      case 4:
        for (long long x = 0; x < w; ++x) {
          unsigned int i = x & 1 ? p[x >> 1] & 15 : p[x >> 1] >> 4;
          if (i >= palCount) return false;
          out[x] = pal[i] | 0xFF000000u;
        }
        break;
      case 8:
        for (long long x = 0; x < w; ++x) {
          if (p[x] >= palCount) return false;
          out[x] = pal[p[x]] | 0xFF000000u;
        }
        break;
      case 16:
        if (!zeroFrom(p, used, static_cast<long long>(stride))) return false;
        for (long long x = 0; x < w; ++x) out[x] = channels.word(le16(p + 2 * x));
        break;
      case 24:
        if (!zeroFrom(p, used, static_cast<long long>(stride))) return false;
        if (bitFields) {
          for (long long x = 0; x < w; ++x, p += 3) out[x] = channels.word(p[0] | p[1] << 8 | p[2] << 16);
        } else {
          for (long long x = 0; x < w; ++x, p += 3)
            out[x] = 0xFF000000u | static_cast<unsigned int>(p[2]) << 16 |
                     static_cast<unsigned int>(p[1]) << 8 | p[0];
        }
        break;
      default:  // 32: the fourth byte is alpha with or without bit fields
        if (bitFields) {
          for (long long x = 0; x < w; ++x) out[x] = channels.word(le32(p + 4 * x));
        } else {
          std::memcpy(out, p, static_cast<size_t>(w) * 4);
          if (opaque)
            for (long long x = 0; x < w; ++x) out[x] |= opaque;
        }
        break;
    }
    if (myRendering)
      for (long long x = 0; x < w; ++x) setExtPix(x, dest, words.ptr[x]);
  }
  return true;
}

bool cPictDIB::fourthByteUsed(cFileIOTarget* io, _typebuf<unsigned char>& line, bool& used) {
  const unsigned long long at = myStart + myRead;
  const long long w = myWidth;
  used = false;
  for (long long r = 0; r < myRows && !used; ++r) {
    if (!io->readf(line.ptr, static_cast<unsigned int>(line.count))) return false;
    for (long long x = 0; x < w && !used; ++x) used = line.ptr[4 * x + 3] != 0;
  }
  return io->set_fp(at);
}

// An icon's AND mask follows its pixels: a set bit makes the pixel
// transparent. A mask cut short leaves the picture opaque as decoded.
bool cPictDIB::loadMergeAlpha(cFileIOTarget* io) {
  long long w = myWidth, rows = myRows;
  unsigned long long stride = (static_cast<unsigned long long>(w) + 31) / 32 * 4;
  unsigned long long size = io->size(), at = myStart + myRead;
  if (at > size || stride * rows > size - at) return true;
  _typebuf<unsigned char> mask;
  try {
    mask.set(static_cast<long long>(stride * rows));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!readf(io, mask.ptr, stride * rows)) return true;
  if (myRendering || !myPix8.ptr) return true;
  for (long long r = 0; r < rows; ++r) {
    const unsigned char* bits = mask.ptr + r * static_cast<long long>(stride);
    unsigned int* row = myPix8.ptr + (myInfo.height > 0 ? r : rows - 1 - r) * w;
    for (long long x = 0; x < w; ++x) {
      bool clear = (bits[x >> 3] >> (7 - (x & 7))) & 1;
      row[x] = clear ? row[x] & 0xFFFFFF : row[x] | 0xFF000000u;
    }
  }
  return true;
}

bool cPictDIB::decodeRLE(cFileIOTarget* io, bool four) {
  if (myInfo.bits != (four ? 4u : 8u)) return false;
  if (myRendering) return walkRLE(io, four, false);
  // Delta codes let a few bytes describe a picture of any height, so no
  // ratio of bytes to pixels tells a short stream from a sparse one: the
  // codes are walked once without pixels, and a stream that ends early or
  // breaks the picture's bounds is refused before the picture is allocated.
  const unsigned long long at = myStart + myRead;
  if (!walkRLE(io, four, true) || !io->set_fp(at)) return false;
  return allocPixels(myWidth, myRows, false) && walkRLE(io, four, false);
}

bool cPictDIB::walkRLE(cFileIOTarget* io, bool four, bool dry) {
  long long w = myWidth, rows = myRows;
  // Lines may run on into the padding of a stored row, as ImageMagick
  // writes them; what lands there is dropped.
  long long room = (w * myInfo.bits + 31) / 32 * 32 / myInfo.bits;
  sLineContext ctx;
  ctx.dry = dry;
  try {
    ctx.indices.set(room);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::memset(ctx.indices.ptr, 0, static_cast<size_t>(room));
  ctx.rows = rows;
  unsigned char* line = ctx.indices.ptr;
  long long x = 0;
  unsigned char code[2], run[256];
  cPtr<cByteSource> in(new cByteSource(io));
  for (;;) {
    if (!in->read(code, 2)) return false;
    long long n = code[0];
    if (n > 0) {
      // RLE4 runs may end on a nibble past the line, which is dropped.
      if (ctx.line >= rows || n > room - x + (four ? 1 : 0)) return false;
      long long put = n < room - x ? n : room - x;
      for (long long i = 0; i < put; ++i) line[x++] = four ? (i & 1 ? code[1] & 15 : code[1] >> 4) : code[1];
      continue;
    }
    switch (code[1]) {
      case 0:
        if (x < w || ctx.line >= rows) return false;
        rleFill(ctx);
        x = 0;
        break;
      case 1:
        // Most writers close the last line before ending the bitmap.
        if (ctx.line == rows && x == 0) return true;
        if (ctx.line != rows - 1 || x < w) return false;
        rleFill(ctx);
        return true;
      case 2: {
        unsigned char d[2];
        if (!in->read(d, 2)) return false;
        if (ctx.line >= rows || d[1] >= rows - ctx.line || d[0] > w - x) return false;
        x += d[0];
        for (int i = 0; i < d[1]; ++i) rleFill(ctx);
        break;
      }
      default: {
        n = code[1];
        if (ctx.line >= rows || n > room - x) return false;
        long long bytes = four ? (n + 1) / 2 : n;
        if (!in->read(run, static_cast<unsigned int>(bytes + (bytes & 1)))) return false;
        for (long long i = 0; i < n; ++i)
          line[x++] = four ? (i & 1 ? run[i >> 1] & 15 : run[i >> 1] >> 4) : run[i];
        break;
      }
    }
  }
}

// Emits one line and starts the next one at index 0 throughout; an index
// outside the palette ends the line's pixels there.
void cPictDIB::rleFill(sLineContext& ctx) {
  if (ctx.dry) {
    ++ctx.line;
    return;
  }
  long long w = myWidth, rows = ctx.rows;
  long long dest = myInfo.height > 0 ? ctx.line : rows - 1 - ctx.line;
  const unsigned char* line = ctx.indices.ptr;
  long long palCount = myPalette.count;
  if (myRendering) {
    if (canExtRender(0, w - 1, dest, dest))
      for (long long x = 0; x < w && line[x] < palCount; ++x)
        setExtPix(x, dest, myPalette.ptr[line[x]] | 0xFF000000u);
  } else {
    unsigned int* out = myPix8.ptr + dest * w;
    for (long long x = 0; x < w && line[x] < palCount; ++x) out[x] = myPalette.ptr[line[x]] | 0xFF000000u;
  }
  ++ctx.line;
  std::memset(ctx.indices.ptr, 0, static_cast<size_t>(ctx.indices.count));
}

// The inner file is handed a window that starts with it, since the JPEG
// decoder reads ahead and puts its stream back by offsets counted from its start.
bool cPictDIB::decodeEmbedded(cFileIOTarget* io, bool png) {
  sExtPictDef* target = extTarget();
  cPictPNG pngPict;
  cPictJPEG jpegPict;
  cPictBase& inner = png ? static_cast<cPictBase&>(pngPict) : jpegPict;
  cFileIOSubRange window(io, myStart + myRead, innerLength(myInfo));
  if (png) {
    if (!pngPict.decode(&window)) return false;
  } else {
    if (target) jpegPict.setExtTarget(target);
    if (!jpegPict.decode(&window)) return false;
  }
  if (target) {
    myWidth = inner.width();
    myHeight = inner.height();
    return png ? pngPict.toExtTarget(target) : true;
  }
  return adoptColorData(inner);
}

bool cPictDIB::save(cPictBase* pict, cFileIOTarget* io) {
  if (!pict || !io || pict->width() < 1 || pict->height() < 1) return false;
  long long w = pict->width(), h = pict->height();
  unsigned long long bytes = static_cast<unsigned long long>(w) * static_cast<unsigned long long>(h) * 4;
  if (w > 0x7FFFFFFF || h > 0x7FFFFFFF || bytes > 0xFFFFFFFFULL - 14 - savingDIBSize()) return false;
  _typebuf<unsigned int> converted;
  const unsigned int* pixels = pict->raw8Bpp();
  if (pict->is16Bpp()) {
    if (!pict->getColorData(converted)) return false;
    pixels = converted.ptr;
  }
  if (!pixels) return false;
  unsigned char header[56] = {};
  putLe32(header, 56);
  putLe32(header + 4, static_cast<unsigned int>(w));
  putLe32(header + 8, static_cast<unsigned int>(h));
  putLe16(header + 12, 1);
  putLe16(header + 14, 32);
  putLe32(header + 16, kBitFields);
  putLe32(header + 20, static_cast<unsigned int>(bytes));
  putLe32(header + 24, 2925);
  putLe32(header + 28, 2925);
  putLe32(header + 40, 0x00FF0000);
  putLe32(header + 44, 0x0000FF00);
  putLe32(header + 48, 0x000000FF);
  putLe32(header + 52, 0xFF000000);
  if (!io->writef(header, sizeof header)) return false;
  auto* data = reinterpret_cast<unsigned char*>(const_cast<unsigned int*>(pixels));
  for (unsigned long long at = 0; at < bytes;) {
    unsigned long long piece = bytes - at < (1u << 30) ? bytes - at : (1u << 30);
    if (!io->writef(data + at, static_cast<unsigned int>(piece))) return false;
    at += piece;
  }
  return true;
}

bool cPictBMP::readFileHeader(cFileIOTarget* io, sLayout& layout) {
  // The file header and the first fields of the bitmap header, which say
  // where the pixels may start at the earliest.
  unsigned char head[26];
  if (!io || !io->readf(head, 26) || head[0] != 'B' || head[1] != 'M' || le32(head + 6) != 0) return false;
  unsigned int fileSize = le32(head + 2), offset = le32(head + 10);
  unsigned long long least = 14ULL + static_cast<unsigned int>(minDIBSize());
  if (le32(head + 14) == 12) {
    // An OS/2 core header is 12 bytes, and its palette entries 3.
    unsigned int bits = le16(head + 24);
    least = 26 + (bits >= 1 && bits <= 8 ? 3ULL << bits : 0);
  }
  if (offset < least || fileSize < offset || !io->set_fp(14)) return false;
  layout.dataLimit = fileSize - 14ULL;
  layout.dataOffset = offset - 14ULL;
  return true;
}

bool cPictBMP::validFor(cFileIOTarget* io, sPictInfo* info) {
  sLayout layout;
  return readFileHeader(io, layout) && cPictDIB::validFor(io, info, false);
}

bool cPictBMP::isPicture(cFileIOTarget* io, sPictInfo* info) { return validFor(io, info); }

bool cPictBMP::decode(cFileIOTarget* io) {
  sLayout layout;
  return readFileHeader(io, layout) && decodeFrom(io, 14, &layout);
}

bool cPictBMP::save(cPictBase* pict, cFileIOTarget* io) {
  if (!pict || !io || pict->width() < 1 || pict->height() < 1) return false;
  unsigned long long bytes =
      static_cast<unsigned long long>(pict->width()) * static_cast<unsigned long long>(pict->height()) * 4;
  if (bytes > 0xFFFFFFFFULL - 14 - savingDIBSize()) return false;
  unsigned char head[14] = {'B', 'M'};
  putLe32(head + 2, static_cast<unsigned int>(14 + savingDIBSize() + bytes));
  putLe32(head + 10, 14 + savingDIBSize());
  return io->writef(head, sizeof head) && cPictDIB::save(pict, io);
}
