// What a NEF learns from its maker note and from the camera model: the
// maker-note tags, the linearisation curve, the colour balance with its
// descrambling, and the per-model levels, margins and filters.
#include <cstring>
#include <new>

#include "base/str.h"
#include "picts/nef.h"
#include "picts/nef_models.h"
#include "picts/nef_tables.h"

namespace {

const sNikonModelTraits* traitsOf(unsigned int id) {
  for (const sNikonModelTraits& t : gNikonTraits)
    if (t.id == id) return &t;
  return nullptr;
}

unsigned int le32(const unsigned char* p) {
  return p[0] | static_cast<unsigned int>(p[1]) << 8 | static_cast<unsigned int>(p[2]) << 16 |
         static_cast<unsigned int>(p[3]) << 24;
}

}  // namespace

void cNEFProps::reset() {
  compression = 0;
  hasNrwBalance = false;
  linearization.set(0);
  colorBalance.set(0);
  jpegPreview.set(0);
  shutterCount = serial = 0;
}

bool cNEFProps::onTag(int tag, int type, const void* data, int length) {
  const auto* b = static_cast<const unsigned char*>(data);
  auto keep = [&](_typebuf<unsigned char>& to) {
    try {
      to.set(length);
    } catch (const std::bad_alloc&) {
      return false;
    }
    if (length) std::memcpy(to.ptr, b, static_cast<size_t>(length));
    return true;
  };
  switch (tag) {
    case 0x14: {
      if (type != 7 || length < 9 || std::memcmp(b, "NRW ", 4) != 0) return true;
      const bool v100 = std::memcmp(b + 4, "0100", 4) == 0;
      const int at = v100 ? 1556 : 56;
      if (length < at + 16) return true;
      unsigned int w[4];
      for (int i = 0; i < 4; ++i) w[i] = le32(b + at + 4 * i);
      nrwBalance[0] = w[0] * 4.0;
      nrwBalance[1] = static_cast<double>(w[1]) + w[3];
      nrwBalance[2] = w[2] * 4.0;
      nrwBalance[3] = 0;
      hasNrwBalance = true;
      return true;
    }
    case 0x1D:
      serial = 0;
      for (int i = 0; i < length && b[i]; ++i)
        serial = serial * 10 + (b[i] >= '0' && b[i] <= '9' ? b[i] - '0' : b[i] % 10);
      return true;
    case 0x93:
      if (type != 3 || length != 2) return false;
      compression = getU16(b);
      return true;
    case 0x96:
      return keep(linearization);
    case 0x97:
      return keep(colorBalance);
    case 0xA7:
      if (length != 4) return false;
      shutterCount = getU32(b);
      return true;
    case 0x100:
      return type != 7 || length == 0 || keep(jpegPreview);
    default:
      return true;
  }
}

bool cNEFJpegPreview::onTag(int tag, int type, const void* data, int length) {
  sTagProcessParam t{tag, type, data, length};
  if (tag == 513) return getValU32(t, offset);
  if (tag == 514) return getValU32(t, this->length);
  return true;
}

unsigned int cPictNEF::getModel(const char* model) {
  if (!model) return kUnknownModel;
  for (const sNikonCamera& c : gNikonCameras)
    if (__stricmp(c.name, model) == 0) return c.id;
  return kUnknownModel;
}

unsigned int cPictNEF::blackLevel() const {
  const sNikonModelTraits* t = traitsOf(myModel);
  return t ? t->black : 0;
}

unsigned int cPictNEF::whiteLevel() const {
  const sNikonModelTraits* t = traitsOf(myModel);
  return t ? t->white : 0;
}

bool cPictNEF::getCropInfo(sMarginInfo& m) const {
  const sNikonModelTraits* t = traitsOf(myModel);
  m = t ? t->margins : sMarginInfo{};
  return m.left || m.right || m.top || m.bottom;
}

bool cPictNEF::getScale(double& x, double& y) const {
  const sNikonModelTraits* t = traitsOf(myModel);
  x = t && t->scaleX ? t->scaleX : 1.0;
  y = t && t->scaleY ? t->scaleY : 1.0;
  return t && t->scaleX;
}

bool cPictNEF::defWhiteBalance(double (&balance)[4]) const {
  const sNikonModelTraits* t = traitsOf(myModel);
  const bool own = t && t->balance[0];
  static constexpr double kGeneral[4] = {2.0, 1.0, 1.5, 1.0};
  for (int i = 0; i < 4; ++i) balance[i] = own ? t->balance[i] : kGeneral[i];
  return own;
}

bool cPictNEF::isBayerRGB() const { return myModel != kNikonE5700; }

bool cPictNEF::getNonRGBColorMix(double (&mix)[3][4]) const {
  static constexpr double kFourColour[3][4] = {{0, 1, 0, 1}, {1, 1, 1, -0.5}, {0, 0, 1, 0.5}};
  static constexpr double kPlain[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 1}, {0, 0, 1, 0}};
  const bool four = myModel == kNikonE5700;
  std::memcpy(mix, four ? kFourColour : kPlain, sizeof mix);
  return four;
}

cBayerFilter* cPictNEF::newFilter() {
  const sNikonModelTraits* t = traitsOf(myModel);
  if (!t || (!t->pattern[0] && !t->pattern[1])) return cBayerFilter::newFilter(myCFA);
  sCFAData cfa(2, 2, 4);
  std::memcpy(cfa.pattern.ptr, t->pattern, 4);
  return cBayerFilter::newFilter(cfa);
}

bool cPictNEF::decryptWhiteBalance(double (&balance)[4]) {
  const _typebuf<unsigned char>& src = myProps.colorBalance;
  const long long n = src.count;
  int version = 0;
  if (n >= 4)
    for (int i = 0; i < 4; ++i) version = version * 10 + (src.ptr[i] - '0');
  // Where the four values are, and which balance entry each one feeds.
  long long at = -1;
  int order[4] = {0, 1, 2, 3};
  _typebuf<unsigned char> block;
  if (n >= 4) {
    if (version == 100 && n >= 80) {
      at = 72;
      order[1] = 2, order[2] = 1;
    } else if (version == 102 && n >= 34) {
      at = 10;
      order[2] = 3, order[3] = 2;
    } else if (version == 103 && n >= 28) {
      at = 20;
    } else if (version == 500 && n >= 12) {
      at = 4;
      order[0] = 1, order[1] = 0;
    } else if (version >= 200 && version <= 216) {
      const long long start = version == 205 ? 4 : 284;
      const int o = kNikonWbOffsets[version - 200];
      if (n > start && start + (o & 0xFE) + 8 <= n) {
        try {
          block.set(n);
        } catch (const std::bad_alloc&) {
          return false;
        }
        std::memcpy(block.ptr, src.ptr, static_cast<size_t>(n));
        const unsigned int ci = kNikonXlat[0][myProps.serial & 255];
        const unsigned int sc = myProps.shutterCount;
        unsigned int cj = kNikonXlat[1][(sc ^ sc >> 8 ^ sc >> 16 ^ sc >> 24) & 255];
        const long long count = n - start < 324 ? n - start : 324;
        for (long long k = 0; k < count; ++k) {
          cj = (cj + ((0x60 + k) & 255) * ci) & 255;
          block.ptr[start + k] ^= static_cast<unsigned char>(cj);
        }
        at = start + (o & 0xFE);
        for (int i = 0; i < 4; ++i) order[i] = i ^ (o & 1) ^ (i >> 1);
      }
    }
  }
  if (at >= 0) {
    const unsigned char* p = (block.ptr ? block.ptr : src.ptr) + at;
    for (int i = 0; i < 4; ++i) balance[order[i]] = myProps.getU16(p + 2 * i);
    return true;
  }
  if (myProps.hasNrwBalance) {
    for (int i = 0; i < 4; ++i) balance[i] = myProps.nrwBalance[i];
    return true;
  }
  return defWhiteBalance(balance);
}

bool cPictNEF::getCurveTblFromLinearizationData(const _typebuf<unsigned char>& block,
                                                _typebuf<unsigned short>& curve, int bits) const {
  const long long max = bits >= 0 && bits < 31 ? (1LL << bits) & 0x7FFF : 0;
  auto identity = [&]() {
    curve.set(max);
    for (long long i = 0; i < max; ++i) curve.ptr[i] = static_cast<unsigned short>(i);
    return true;
  };
  if (!block.count) return identity();
  if (block.count < 12) return false;
  const unsigned char* b = block.ptr;
  const long long n = myProps.getU16(b + 10);
  const long long step = n >= 2 ? max / (n - 1) : 0;
  if (b[0] == 'D' && b[1] == ' ' && step >= 1) {
    // The points the curve reaches, and the one just past its end.
    const long long used = (max - 1) / step + 2 < n ? (max - 1) / step + 2 : n;
    if (block.count < 12 + 2 * used) return false;
    // Between two stored points the curve runs straight; past the last one
    // it stays level rather than falling to zero.
    curve.set(max);
    for (long long i = 0; i < max; ++i) {
      const long long k = i / step, r = i % step;
      const long long a = myProps.getU16(b + 12 + 2 * k);
      const long long c = k + 1 < n ? myProps.getU16(b + 12 + 2 * (k + 1)) : a;
      curve.ptr[i] = static_cast<unsigned short>((r * c + (step - r) * a) / step);
    }
    return true;
  }
  if (b[0] != 'F' && n < 16386) {
    if (block.count < 12 + 2 * n) return false;
    curve.set(n);
    for (long long i = 0; i < n; ++i) curve.ptr[i] = myProps.getU16(b + 12 + 2 * i);
    return true;
  }
  return identity();
}
