#include "picts/mos.h"

#include <strings.h>

#include <cstring>

namespace {

constexpr int kTagLeafData = 34310;
constexpr unsigned kMagic = 0x504B5453;  // "PKTS" read big-endian
constexpr long long kHeaderSize = 52;
// Profiles nest a level or two; a forged chain must not exhaust the stack.
constexpr int kMaxRecordDepth = 16;

// A record's decimal text (leading spaces and a sign allowed), clamped.
long long decimal(const unsigned char* p, long long n) {
  long long i = 0, v = 0;
  while (i < n && p[i] == ' ') ++i;
  bool negative = i < n && p[i] == '-';
  if (i < n && (p[i] == '-' || p[i] == '+')) ++i;
  for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i)
    if (v < 1000000000) v = v * 10 + (p[i] - '0');
  return negative ? -v : v;
}

bool named(const unsigned char* record, const char* name) {
  return std::strncmp(reinterpret_cast<const char*>(record + 8), name, 40) == 0;
}

}  // namespace

void cPictMOS::reset() {
  cPictTIFF_EP::reset();
  myMosaicCode = -1;
  myBackType = 0;
  myRowsFlag = 0;
  myRotation = 0;
  myPreviewExists = false;
  myCaptureProfile = false;
}

bool cPictMOS::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictMOS probe;
  return probe.isPicture(io, info);
}

bool cPictMOS::openWindow(cFileIOTarget* io) {
  unsigned char head[34];
  if (!io || !io->set_fp(0) || !io->readf(head, sizeof head)) return false;
  unsigned long long start = 0;
  auto le16 = [&](int at) { return static_cast<unsigned>(head[at] | head[at + 1] << 8); };
  bool zip = le16(0) == 0x4B50 && le16(2) == 0x0403;
  // A stored member's TIFF starts after the local header, its name and its
  // extra field; a compressed one is left to fail as a TIFF.
  if (zip && le16(8) == 0 && strncasecmp(reinterpret_cast<const char*>(head + 30), "0.MO", 4) == 0)
    start = 30ULL + le16(26) + le16(28);
  myWindow.wrap(io, start, io->size());
  return myWindow.length > 0;
}

bool cPictMOS::onTag(int tag, int type, const void* data, int length) {
  if (tag == kTagLeafData && ifdKind() == kMainIFD)
    return !data || processLeafData(static_cast<const unsigned char*>(data), length, 0);
  return cPictTIFF_EP::onTag(tag, type, data, length);
}

bool cPictMOS::processLeafData(const unsigned char* data, long long length, int depth) {
  if (depth > kMaxRecordDepth) return false;
  for (long long at = 0; length - at >= kHeaderSize;) {
    const unsigned char* r = data + at;
    unsigned long long size = getU32(r + 48);
    if (getU32(r) != kMagic || size > static_cast<unsigned long long>(length - at - kHeaderSize))
      return false;
    const unsigned char* body = r + kHeaderSize;
    long long n = static_cast<long long>(size);
    if (named(r, "CaptProf_raw_data_rotation")) {
      long long v = decimal(body, n);
      myRotation = v % 90 == 0 ? static_cast<int>(v % 360) : 0;
    } else if (named(r, "Rows_data")) {
      if (n < 4) return false;
      myRowsFlag = getU32(body);
    } else if (named(r, "JPEG_preview_data")) {
      myPreviewExists = true;
      if (loadPreview()) {
        // Through the same pixels-per-byte guard as every embedded JPEG, so
        // a small record cannot claim a picture of the library's limit.
        cBufWrapperIO io(const_cast<unsigned char*>(body), n, false);
        myPreviewExists = decodeEmbeddedJpeg(myPreview, &io, static_cast<unsigned long long>(n));
      }
    } else if (named(r, "camera_profile") || named(r, "CamProf_capture_profile")) {
      if (named(r, "CamProf_capture_profile")) myCaptureProfile = true;
      if (!processLeafData(body, n, depth + 1)) return false;
    } else if (named(r, "CamProf_back_type")) {
      myBackType = static_cast<unsigned>(decimal(body, n));
    } else if (named(r, "CaptProf_mosaic_pattern")) {
      if (n != 8) return false;
      myMosaicCode = body[2] == '1' ? 1 : body[4] == '1' ? 3 : body[6] == '1' ? 2 : 0;
    }
    at += kHeaderSize + n;
  }
  return true;
}

bool cPictMOS::walkRaw(cFileIOTarget* io, int page, bool& preview) {
  if (page != 0 || !openWindow(io)) return false;
  bool full, withPreview = loadPreview();
  if (!walkMain(&myWindow, full, withPreview) || !full || !myCaptureProfile) return false;
  preview = myPreviewExists;
  if (mySamplesPerPixel == 1 && myMosaicCode >= 0) {
    // The pattern turns with the sensor: each quarter turn moves it one step.
    static constexpr unsigned char kPatterns[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {2, 1, 1, 0}, {1, 2, 0, 1}};
    int q = ((myRotation / 90 + myMosaicCode) % 4 + 4) % 4;
    myCFA.set(4);
    std::memcpy(myCFA.ptr, kPatterns[q], 4);
    myCFARows = myCFACols = 2;
  }
  return true;
}

bool cPictMOS::isPicture(cFileIOTarget* io, sPictInfo* info) {
  bool preview = false;
  if (!walkRaw(io, 0, preview)) return false;
  if (info) {
    info->width = getPropInt(epEmbeddedWidth)->value;
    info->height = getPropInt(epEmbeddedHeight)->value;
    info->hasPreview = preview;
  }
  return true;
}

bool cPictMOS::decode(cFileIOTarget* io) {
  close();
  bool preview;
  // Without a pattern the mosaic cannot be demosaiced.
  return walkRaw(io, 0, preview) && isCFA() && readRawPlane(&myWindow);
}

// Some backs write planar configuration 2 for their one-sample mosaic; with
// one sample a pixel both configurations lay the data out alike.
bool cPictMOS::onBeforeDecodeStripes(bool many) {
  if (mySamplesPerPixel == 1) myPlanarConfig = 1;
  return cPictTIFF_EP::onBeforeDecodeStripes(many);
}

bool cPictMOS::onRawDecoded(cFileIOTarget* io) {
  const double multipliers[4] = {1.1, 1.0, 1.33, 1.0};
  return finishCFA(io, sMarginInfo{}, 0, multipliers);
}

cRAWLosslessJpeg* cPictMOS::newLosslessDecoder(long long w, long long rows) {
  cRAWLosslessJpeg* jpeg = new cRAWLosslessJpeg;
  jpeg->setRelativeSelectors(true);
  jpeg->init(static_cast<unsigned>(w), static_cast<unsigned>(rows),
             myRowsFlag & 1 ? cRAWLosslessJpeg::kScanInterlaced : cRAWLosslessJpeg::kScanPlain);
  return jpeg;
}

bool cPictMOS::getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                          long long const* maxH) {
  reset();
  setLoadPreview(true);
  bool preview;
  bool walked = walkRaw(io, 0, preview);
  return walked && preview && movePreview(myPreview, target, maxW, maxH);
}
