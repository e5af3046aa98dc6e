// Strip and tile compressions and the horizontal predictor. Every decoder
// stops at the bytes the strip's rows need: a few hostile bytes must not
// grow a buffer the picture will never read.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "base/memio.h"
#include "compression/lzwdecompress.h"
#include "compression/oneshotinflate.h"
#include "compression/zdecompress.h"
#include "picts/pictjpeg.h"
#include "picts/picttiff.h"
#include "picts/pullio.h"
#include "picts/tifffax.h"

namespace {

// Neither Deflate nor PackBits expands one input byte into more than this many.
constexpr long long kMaxDeflateRatio = 1032;
constexpr long long kMaxPackBitsRatio = 64;

long long boundedSize(long long need, long long inputBytes, long long ratio) {
  long long most = inputBytes * ratio + 64;
  return need < most ? need : most;
}

// Strips mostly share one size; their buffer is made once.
void sizeBuffer(_typebuf<unsigned char>& buf, long long n) {
  if (buf.count != n) buf.set(n);
}

unsigned long long getSample(const unsigned char* p, int bytes, bool bigEndian) {
  unsigned long long v = 0;
  for (int b = 0; b < bytes; ++b) v = v << 8 | p[bigEndian ? b : bytes - 1 - b];
  return v;
}

void putSample(unsigned char* p, int bytes, bool bigEndian, unsigned long long v) {
  for (int b = 0; b < bytes; ++b) p[bigEndian ? bytes - 1 - b : b] = static_cast<unsigned char>(v >> (8 * b));
}

unsigned long long getBits(const unsigned char* row, unsigned long long bit, int bits) {
  unsigned long long v = 0;
  for (int b = 0; b < bits; ++b, ++bit) v = v << 1 | ((row[bit >> 3] >> (7 - (bit & 7))) & 1);
  return v;
}

// Byte samples with the sample count known to the compiler keep the running
// pixel in registers.
template <int kSamples>
void undifferenceBytes(unsigned char* row, long long width) {
  unsigned char acc[kSamples];
  for (int c = 0; c < kSamples; ++c) acc[c] = row[c];
  for (long long x = 1; x < width; ++x) {
    unsigned char* p = row + x * kSamples;
    for (int c = 0; c < kSamples; ++c) p[c] = acc[c] = static_cast<unsigned char>(p[c] + acc[c]);
  }
}

void undifferenceBytes(unsigned char* row, long long width, int samples) {
  switch (samples) {
    case 1:
      return undifferenceBytes<1>(row, width);
    case 2:
      return undifferenceBytes<2>(row, width);
    case 3:
      return undifferenceBytes<3>(row, width);
    case 4:
      return undifferenceBytes<4>(row, width);
    default:
      for (long long i = samples; i < width * samples; ++i)
        row[i] = static_cast<unsigned char>(row[i] + row[i - samples]);
  }
}

void putBits(unsigned char* row, unsigned long long bit, int bits, unsigned long long v) {
  for (int b = bits - 1; b >= 0; --b, ++bit) {
    unsigned char mask = static_cast<unsigned char>(0x80 >> (bit & 7));
    row[bit >> 3] = static_cast<unsigned char>(((v >> b) & 1) ? row[bit >> 3] | mask : row[bit >> 3] & ~mask);
  }
}

}  // namespace

bool cPictTIFF::decodeStripe(_typebuf<unsigned char>& in, int compression, sDecomress& out) {
  long long need = static_cast<long long>(out.rowBytes) * out.rows;
  // The window open on the unit hands its decoder more bytes as it asks;
  // a buffer given whole has none to add.
  cPullInput whole(in.ptr, static_cast<size_t>(in.count));
  const bool windowed = myWindow.serves(in);
  cPullInput& source = windowed ? static_cast<cPullInput&>(myWindow) : whole;
  const long long limit = windowed ? myWindow.limit() : in.count;
  // The fax decoders read either bit order themselves, and JPEG streams are
  // bytes, not bits; the other compressions read the bits first to last.
  if (myFillOrder == 2 && compression != 3 && compression != 4 && compression != 6 && compression != 7) {
    for (long long i = 0; i < in.count; ++i) in.ptr[i] = reversedBits(in.ptr[i]);
    if (windowed) myWindow.reverseFromHere();
  }
  switch (compression) {
    case 1:
      if (in.count < need) source.pull(static_cast<size_t>(need));
      in.count = std::min(in.count, need);
      swapBuffers(in, out.data);
      return true;
    case 3:
      return decompressFax3(source, out);
    case 4:
      return decompressFax4(source, out);
    case 5:
      return decodeLZW(source, out, need);
    case 6:
    case 7:
      return decodeJPEG(source, limit, out);
    case 8:
    case 32946:
      return decodeDeflate(source, limit, out, need) && out.data.count >= need;
    case 32773:
      return decodePackBits(source, limit, out, need);
    default:
      return false;
  }
}

// Rows a unit holds past the picture's last one are padding: a run
// reaching into them is cut where the picture ends, not damage.
bool cPictTIFF::decodePackBits(cPullInput& in, long long limit, sDecomress& out, long long need) {
  long long held = 0;
  if (__builtin_mul_overflow(static_cast<long long>(out.rowBytes), myUnitHeld, &held))
    held = std::numeric_limits<long long>::max();
  try {
    sizeBuffer(out.data, boundedSize(need, limit, kMaxPackBitsRatio));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return makePackBitsDecompressing(in, out.data, out.data.count, std::max(held, out.data.count));
}

bool cPictTIFF::decodeLZW(cPullInput& in, sDecomress& out, long long need) {
  cLZWDecompress lzw(true, 9, true);
  lzw.setOutputLimit(static_cast<unsigned long long>(need));
  try {
    return lzw.decompress(in, out.data);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool cPictTIFF::decodeDeflate(cPullInput& in, long long limit, sDecomress& out, long long need) {
  // The rows the unit holds past those it places are inflated with them
  // while the picture can afford them: a bottom tile's stream then ends
  // within its buffer.
  unsigned long long held = 0;
  if (__builtin_mul_overflow(static_cast<unsigned long long>(out.rowBytes),
                             static_cast<unsigned long long>(std::max(myUnitHeld, 0LL)), &held))
    held = ~0ULL;
  const unsigned long long unit = static_cast<unsigned long long>(need), left = myRunOnLeft;
  const long long room = need + static_cast<long long>(held > unit ? std::min(held - unit, left) : 0);
  try {
    sizeBuffer(out.data, boundedSize(room, limit, kMaxDeflateRatio));
  } catch (const std::bad_alloc&) {
    return false;
  }
  sInflated inflated = inflateOneShot(in, out.data.ptr, static_cast<size_t>(out.data.count), true);
  // Rows are trusted only from a stream that reached its end and checksum:
  // a cut or damaged one, or one whose checksum is missing or wrong, may
  // hold every row and still be wrong in any of them. A stream that runs on
  // past its unit's rows, as some writers' and every bottom tile's do, is
  // read to its end without keeping what it makes there, however many rows
  // its unit claims, while the picture's streams have not made their share
  // of such rows; past that the rest is padding, not read. Whether the rows
  // it holds were inflated with those it places or checked after them, the
  // stream is charged once, and checked as far.
  unsigned long long made = inflated.produced;
  out.data.count = static_cast<long long>(std::min(made, unit));
  bool sound = inflated.end == eInflateEnd::finished || (inflated.end == eInflateEnd::outputFull && !left);
  if (inflated.end == eInflateEnd::outputFull && left) {
    const sZlibEnd end = zlibStreamEnd(in, left > ~0ULL - unit ? ~0ULL : unit + left);
    made = std::max(made, end.made);
    sound = end.end != eZlibEnd::broken;
  }
  myRunOnLeft -= std::min(left, made > unit ? made - unit : 0);
  return sound;
}

bool cPictTIFF::decompressFax3(cPullInput& in, sDecomress& out) { return decompressFax(in, out, false); }

bool cPictTIFF::decompressFax4(cPullInput& in, sDecomress& out) { return decompressFax(in, out, true); }

bool cPictTIFF::decompressFax(cPullInput& in, sDecomress& out, bool group4) {
  if (out.bitsPerSample != 1 || out.samplesPerPixel != 1) return false;
  // Only the columns the picture shows are kept: a unit far wider than its
  // picture costs its codes, not its width.
  const long long columns = unitColumns();
  out.rowBytes = static_cast<unsigned int>((columns + 7) / 8);
  try {
    sizeBuffer(out.data, static_cast<long long>(out.rowBytes) * out.rows);
  } catch (const std::bad_alloc&) {
    return false;
  }
  sFax3DecodeCtx ctx{nullptr,      0,        myFillOrder == 2, (myT4Options & 1) != 0, group4,
                     myUnit.width, out.rows, columns};
  return decodeFax(ctx, in, out.data.ptr);
}

// Writers keep the tables of all strips in JPEGTables and leave them out of
// the strips; the tables stream (less its end marker) put before the strip
// (less its start marker) makes one ordinary JPEG stream.
bool cPictTIFF::decodeJPEG(cPullInput& in, long long limit, sDecomress& out) {
  const _typebuf<unsigned char>& tables = myJpegTables;
  if (in.size < 2) in.pull(2);
  const bool joined = tables.count >= 4 && tables.ptr[0] == 0xFF && tables.ptr[1] == 0xD8 &&
                      tables.ptr[tables.count - 2] == 0xFF && tables.ptr[tables.count - 1] == 0xD9 &&
                      in.size >= 2 && in.data[0] == 0xFF && in.data[1] == 0xD8;
  const unsigned long long prefix = joined ? static_cast<unsigned long long>(tables.count - 2) : 0,
                           skip = joined ? 2 : 0;
  cPullIO io(tables.ptr, prefix, in, skip, prefix + static_cast<unsigned long long>(limit) - skip);
  cPictJPEG jpeg;
  jpeg.setUsingBMPOrder(false);
  jpeg.setPlainInks(out.photometric == 5);
  // An RGB picture's fourth sample is its alpha, whatever the strip's compression.
  jpeg.setFourthAlpha(out.photometric == 2 && out.samplesPerPixel == 4);
  // A frame much larger than its strip is forged; it must not size a picture.
  cPictBase::sPictInfo info;
  long long wide = static_cast<long long>(out.rowBytes) * 8 /
                   (static_cast<long long>(out.bitsPerSample) * out.samplesPerPixel);
  long long tall = std::max<long long>({out.rows, myRowsPerStrip, myTileLength});
  if (!jpeg.isPicture(&io, &info) || info.width > wide + 16 || info.height > tall + 16) return false;
  io.set_fp(0);
  if (!jpeg.decode(&io)) return false;
  // Samples of more than 8 bits (12-bit JPEG) come as 16-bit ones, little-endian.
  long long w = jpeg.width(), h = jpeg.height();
  const bool sixteen = jpeg.is16Bpp();
  const int sampleBytes = sixteen ? 2 : 1, samples = jpeg.colorSpace == 7 ? 4 : 3;
  // The picture keeps the stream's precision; the record's samples span 16 bits.
  const int shift = jpeg.precision < 16 ? 16 - static_cast<int>(jpeg.precision) : 0;
  try {
    out.data.set(w * h * samples * sampleBytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Where red, green, blue and alpha sit in a pixel, counted in fields from the low end.
  static constexpr int kField[4] = {2, 1, 0, 3};
  unsigned char* rgb = out.data.ptr;
  for (long long y = 0; y < h; ++y) {
    if (sixteen) {
      const unsigned long long* pixels = jpeg.raw16Bpp() + y * w;
      for (long long x = 0; x < w; ++x)
        for (int c = 0; c < samples; ++c, rgb += 2) {
          unsigned int v = static_cast<unsigned int>(pixels[x] >> (16 * kField[c]) & 0xFFFF) << shift;
          rgb[0] = static_cast<unsigned char>(v);
          rgb[1] = static_cast<unsigned char>(v >> 8);
        }
      continue;
    }
    const unsigned int* pixels = jpeg.raw8Bpp() + y * w;
    for (long long x = 0; x < w; ++x)
      for (int c = 0; c < samples; ++c) *rgb++ = static_cast<unsigned char>(pixels[x] >> (8 * kField[c]));
  }
  out.rowBytes = static_cast<unsigned int>(w * samples * sampleBytes);
  out.rows = static_cast<unsigned int>(h);
  out.bitsPerSample = sixteen ? 16 : 8;
  out.samplesPerPixel = static_cast<unsigned int>(samples);
  out.planarConfig = 1;
  out.photometric = 2;
  out.sampleFormat = 1;
  out.bigEndian = 0;
  return true;
}

bool cPictTIFF::makePackBitsDecompressing(cPullInput& in, _typebuf<unsigned char>& out, long long limit,
                                          long long held) {
  // Bytes the input holds from `at`, asking it for `n` when it holds fewer.
  auto ahead = [&in](long long at, long long n) {
    if (static_cast<long long>(in.size) - at < n) in.pull(static_cast<size_t>(at + n));
    return static_cast<long long>(in.size) - at;
  };
  long long at = 0, written = 0;
  bool ok = true;
  while (written < limit && ahead(at, 1) > 0) {
    int c = static_cast<signed char>(in.data[at++]);
    if (c == -128) continue;
    if (c >= 0) {
      long long n = c + 1;
      if (n > ahead(at, n) || n > held - written) {
        ok = false;
        break;
      }
      // A run of at most 128 bytes is copied whole when both buffers have
      // room: one fixed-size copy beats a call per run, and the bytes past
      // the run are overwritten by the next ones.
      const long long kept = std::min(n, limit - written);
      if (static_cast<long long>(in.size) - at >= 128 && out.count - written >= 128)
        std::memcpy(out.ptr + written, in.data + at, 128);
      else
        std::memcpy(out.ptr + written, in.data + at, static_cast<size_t>(kept));
      written += kept;
      at += n;
    } else {
      long long n = 1 - c;
      if (ahead(at, 1) < 1 || n > held - written) {
        ok = false;
        break;
      }
      n = std::min(n, limit - written);
      std::memset(out.ptr + written, in.data[at++], static_cast<size_t>(n));
      written += n;
    }
  }
  out.count = written;
  return ok;
}

void cPictTIFF::makeHorzUndifferencing(unsigned char* data, long long size, int width, int samplesPerPixel,
                                       int bits, bool bigEndian) {
  if (bits > 64 || width < 2) return;
  long long rowBytes = (static_cast<long long>(bits) * samplesPerPixel * width + 7) / 8;
  long long values = static_cast<long long>(width) * samplesPerPixel;
  unsigned long long mask = bits == 64 ? ~0ULL : (1ULL << bits) - 1;
  for (long long start = 0; start + rowBytes <= size; start += rowBytes) {
    unsigned char* row = data + start;
    if (bits == 8) {
      undifferenceBytes(row, width, samplesPerPixel);
    } else if (bits % 8 == 0) {
      int bytes = bits / 8;
      long long step = static_cast<long long>(samplesPerPixel) * bytes;
      for (long long i = samplesPerPixel; i < values; ++i) {
        unsigned char* p = row + i * bytes;
        putSample(p, bytes, bigEndian,
                  (getSample(p, bytes, bigEndian) + getSample(p - step, bytes, bigEndian)) & mask);
      }
    } else {
      for (long long i = samplesPerPixel; i < values; ++i) {
        unsigned long long bit = static_cast<unsigned long long>(i) * bits;
        unsigned long long prev =
            getBits(row, bit - static_cast<unsigned long long>(samplesPerPixel) * bits, bits);
        putBits(row, bit, bits, (getBits(row, bit, bits) + prev) & mask);
      }
    }
  }
}
