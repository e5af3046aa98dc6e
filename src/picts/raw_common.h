// What the camera-RAW decoders that read their files with the tag walker have
// in common: the bit readers of their compressed bodies, the lossless
// difference rule, lookup tables, the 12-bit packings, the strip rules, the
// hand-over to the finishing chain and the embedded JPEG preview.
//
// The bit readers take their bytes through a block buffer, so a body costs
// one stream call per 64 KiB; they read ahead, and the stream's position
// after them is not where the decoder stopped.
#pragma once

#include "base/buffers.h"
#include "picts/balance.h"
#include "picts/bytesource.h"
#include "picts/pictbase.h"
#include "picts/tiffgeneric.h"

class cFileIOTarget;
class cTiffGeneric;

// Reads from the stream's current position: seek before building one. The
// low `vbits` bits of `bitbuf` are held; it is topped up a whole word at a
// time, so a code costs a shift and a mask.
struct getbithuff_ctx {
  explicit getbithuff_ctx(cFileIOTarget* io) : source(io) {}
  unsigned long long bitbuf = 0;
  int vbits = 0;
  int error = 0;  // set once the stream ran dry
  unsigned long long bytesRead = 0;
  cByteSource source;
  void fill() {
    unsigned char b;
    while (vbits <= 56 && source.get(b)) {
      bitbuf = bitbuf << 8 | b;
      vbits += 8;
      ++bytesRead;
    }
  }
};

// The next n bits (n 1..25), most significant first, with no byte stuffing.
// With a table of 2^n entries (length << 8 | value) only the entry's length
// is consumed and its value answered. n outside 1..25 answers 0; a dry
// stream sets the error flag and answers 0.
inline unsigned getbithuff(int n, const unsigned short* table, getbithuff_ctx& ctx) {
  if (n <= 0 || n > 25) return 0;
  if (ctx.vbits < n) ctx.fill();
  if (ctx.vbits < n) {
    ctx.error = 1;
    return 0;
  }
  const unsigned c = unsigned(ctx.bitbuf >> (ctx.vbits - n)) & ((1u << n) - 1);
  if (!table) {
    ctx.vbits -= n;
    return c;
  }
  // A table never gives back more bits than it looked at.
  const int length = table[c] >> 8;
  ctx.vbits -= length < n ? length : n;
  return table[c] & 0xFF;
}

// The same for bodies stored as little-endian 32-bit words (n 1..32).
struct sph1_bithuff_ctx {
  explicit sph1_bithuff_ctx(cFileIOTarget* io) : source(io) {}
  unsigned long long bitbuf = 0;
  int vbits = 0;
  int error = 0;
  unsigned long long bytesRead = 0;
  cByteSource source;
};
unsigned ph1_bithuff(int n, sph1_bithuff_ctx& ctx);

// One difference of a lossless-JPEG-like body: a length through the table of
// 2^codeLength entries, then that many bits extended to a signed value. A dry
// stream gives 0.
inline int rawLosslessDiff(int codeLength, const unsigned short* table, getbithuff_ctx& ctx) {
  const int length = static_cast<int>(getbithuff(codeLength, table, ctx));
  if (ctx.error) return 0;
  if (length == 16) return -32768;
  if (length == 0 || length > 25) return 0;
  int d = static_cast<int>(getbithuff(length, nullptr, ctx));
  if (ctx.error) return 0;
  if ((d & (1 << (length - 1))) == 0) d -= (1 << length) - 1;
  return d;
}

// A table of 2^maxLength entries from (length << 8 | value) entries, each
// filling the next 2^maxLength >> length places in list order; false when
// the list asks for more places than there are or a length above maxLength.
bool makeRawLookup(const unsigned short* list, int count, int maxLength, _typebuf<unsigned short>& table);

// Two 12-bit samples in three bytes, and their variants.
enum eRawPacking {
  rpLittle,         // s0 = b0 | (b1 & 15) << 8, s1 = b1 >> 4 | b2 << 4
  rpBig,            // s0 = b0 << 4 | b1 >> 4, s1 = (b1 & 15) << 8 | b2
  rpSwappedGroups,  // 12 bytes to 8 samples, 32-bit words swapped
  rpPaddedLittle,   // as rpLittle, one byte skipped after every fifth group
  rpPaddedBig,
};
// Unpacks up to `samples` samples from `bytes` bytes; answers how many it made.
long long unpackRaw12(eRawPacking packing, const unsigned char* src, long long bytes, unsigned short* dst,
                      long long samples);
// 16-bit samples, little-endian unless `bigEndian`.
void unpackRaw16(const unsigned char* src, long long samples, bool bigEndian, unsigned short* dst);

// A TIFF-like header with a camera's own magic: byte order, the 16-bit magic
// in that order and the first IFD offset. Answers the walker's error code
// (0 when read); `size` of cTiffGeneric::kAskSize is asked of the stream.
int readRawHeader(cFileIOTarget* io, unsigned long long& size, bool& bigEndian, unsigned& magic,
                  unsigned& firstIfd);

// A body split in strips: offsets, byte counts, rows per strip.
struct sRawStrips {
  _typebuf<unsigned int> offsets;
  _typebuf<unsigned int> counts;
  unsigned int rowsPerStrip = 0;
  void clear() {
    offsets.set(0);
    counts.set(0);
    rowsPerStrip = 0;
  }
  // Rows per strip absent: one strip of every row. A missing byte count (or
  // a single 0 when `zeroIsMissing`) becomes the rest of the stream; an
  // offset at or beyond its end refuses the body.
  bool settle(unsigned int height, unsigned long long streamSize, bool zeroIsMissing);
  // Tag 273 (offsets), 278 (rows per strip) or 279 (byte counts, one per
  // offset): false when it is empty or does not pair.
  bool readTag(const cTiffGeneric& tiff, const sTagProcessParam& t, unsigned int tag);
  // Whether the strips' bytes inside the stream can hold `samples` samples of
  // at least `minBits` bits each: checked before any buffer is sized, so a
  // forged size cannot claim memory that a short file could never fill.
  bool canHold(unsigned long long streamSize, unsigned long long samples, unsigned minBits) const;
  // canHold at a bit a sample, then the zeroed plane of width x height.
  bool allocPlane(unsigned long long streamSize, long long width, long long height,
                  _typebuf<unsigned short>& raw) const;
  // The first row of strip s and how many rows it holds (0 past the height).
  unsigned int firstRow(long long s) const;
  unsigned int rowsOf(long long s, unsigned int height) const;
};

// A colour-filter pattern as a file gives it.
struct sRawCFA {
  unsigned int rows = 0, columns = 0;
  _typebuf<unsigned char> entries;
  void clear() {
    rows = columns = 0;
    entries.set(0);
  }
  bool held() const { return entries.count > 0; }
  // The EXIF form: two 16-bit dimensions (columns, rows) then the entries.
  bool parseExif(const unsigned char* p, long long length, bool bigEndian);
  // Entries row by row.
  bool set(unsigned int rows, unsigned int columns, const unsigned char* p, long long length);
  // Null for a pattern no filter takes.
  cBayerFilter* newFilter() const;
};

// The raw size less the margins; false when the margins leave nothing, so
// that an active size never wraps.
bool rawActiveSize(long long rawWidth, long long rawHeight, const sMarginInfo& m, long long& width,
                   long long& height);

// Ties a nested directory walk to a depth and to the directories already
// entered, so that a forged offset can neither recurse without end nor come
// back to a directory.
class cRawWalkGuard {
 public:
  void clear() { myVisits = myDepth = 0; }
  bool enter(unsigned long long offset);
  void leave() { --myDepth; }
  // Walks the IFD at `offset` with `walker` when the bounds allow it.
  bool walk(cTiffGeneric& walker, cFileIOTarget* io, bool bigEndian, unsigned int offset,
            unsigned long long size);

 private:
  static constexpr int kMaxDepth = 4;
  static constexpr int kMaxVisits = 32;
  unsigned long long myVisited[kMaxVisits] = {};
  int myVisits = 0;
  int myDepth = 0;
};

// The hand-over of a decoded sensor plane; multipliers and bounds are the caller's.
sRawFinish rawPlane(const _typebuf<unsigned short>& raw, long long width, long long height,
                    const sMarginInfo& margins, cBayerFilter* filter, unsigned int black,
                    const double (&multipliers)[4]);

// Multipliers relative to the red level m0 (all 1 without one) and the bound
// of the curve's high point that they imply.
void balanceToRed(sRawFinish& f, double m0, double m1, double m2);

// What a probe of a decoder that reports its active size answers.
bool probeActive(long long rawWidth, long long rawHeight, const sMarginInfo& m, bool hasPreview,
                 cPictBase::sPictInfo* info);

// The picture side every walker-based camera decoder shares.
class cCameraRawPict : public cPictBase {
 protected:
  // Runs the finishing chain over `f` and makes its result this picture's
  // 16-bit pixels.
  bool finishCamera(sRawFinish& f, cFileIOTarget* io);
  // Sees the sensor plane and the decoder's choices just before finishing;
  // tests compare them with the source.
  virtual void onRawPlane(const sRawFinish&) {}
  // The JPEG stored at [offset, offset + length) into `dst`, scaled down to
  // the limits (null: the preview's own size), never enlarged.
  // A known size (both above 0) must be the one the JPEG gives.
  static bool embeddedPreview(cFileIOTarget* io, unsigned long long offset, unsigned long long length,
                              cPictBase& dst, const long long* maxWidth, const long long* maxHeight,
                              long long knownWidth = 0, long long knownHeight = 0);
};
