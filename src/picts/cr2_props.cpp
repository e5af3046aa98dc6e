// The readers of a CR2's directories: the Canon maker note, the EXIF pixel
// size, the thumbnail's place and the raw directory's slices and strip.
#include <cstring>

#include "picts/cr2.h"

namespace {

constexpr int kShort = 3, kLong = 4, kByte = 1, kUndefined = 7;

}  // namespace

void cCR2MakerNoteProps::reset() {
  std::memset(sensor, 0, sizeof sensor);
  std::memset(shot, 0, sizeof shot);
  std::memset(a4, 0, sizeof a4);
  for (double& b : balance) b = 0;
  maskDerived = hasShot = false;
  rawOffset = model = 0;
}

bool cCR2MakerNoteProps::onTag(int tag, int type, const void* data, int length) {
  const auto* b = static_cast<const unsigned char*>(data);
  switch (tag) {
    case 4:
      if (type != kShort || length < 42) return false;
      for (int i = 0; i < 21; ++i) shot[i] = getU16(b + 2 * i);
      hasShot = true;
      return true;
    case 0x10:
      if (type != kLong || length < 4) return false;
      model = getU32(b);
      return true;
    case 0x29: {
      if (type != kByte) return false;
      static const char kPlace[] = "012347800000005896";
      const unsigned index = shot[7];
      const int d = index < 18 ? kPlace[index] - '0' : 0;
      // The four values must be inside the table.
      if (8 + 32 * d + 16 > length) return false;
      for (int i = 0; i < 4; ++i) balance[i ^ (i >> 1) ^ 1] = getU32(b + 8 + 32 * d + 4 * i);
      return true;
    }
    case 0x81:
      if (type != kLong || length < 4) return false;
      rawOffset = getU32(b);
      return true;
    case 0xA4:
      if (length >= 8)
        for (int i = 0; i < 4; ++i) a4[i] = getU16(b + 2 * i);
      return true;
    case 0xE0:
      if (length < 26 || getU16(b) != length) return false;
      for (int i = 0; i < 13; ++i) sensor[i] = getU16(b + 2 * i);
      if (!sensor[11] && !sensor[12]) {
        // No mask given: a strip left of the picture, in the sensor's middle.
        const int left = sensor[5] / 2 - 2;
        sensor[9] = static_cast<unsigned short>(left < 0 ? 0 : left);
        sensor[11] = static_cast<unsigned short>(sensor[5] / 2 + 2);
        sensor[10] = static_cast<unsigned short>(sensor[2] / 4);
        sensor[12] = static_cast<unsigned short>(sensor[2] / 2 + sensor[2] / 4);
        maskDerived = true;
      }
      return true;
    case 0x4001: {
      const int count = type == kShort ? length / 2 : type == kUndefined ? length : 0;
      if (count <= 500) return false;
      const int at = count == 582 ? 50 : count == 653 ? 68 : count == 5120 ? 142 : 126;
      if (at + 8 > length) return false;
      static constexpr int kOrder[4] = {0, 1, 3, 2};
      for (int i = 0; i < 4; ++i) balance[kOrder[i]] = b[at + 2 * i] | b[at + 2 * i + 1] << 8;
      return true;
    }
    default:
      return true;
  }
}

bool cCR2ExifProps::onTag(int tag, int type, const void* data, int length) {
  if (ifdKind() == kExifIFD && (tag == 40962 || tag == 40963)) {
    unsigned int v;
    if (type == kShort && length == 2)
      v = getU16(data);
    else if (type == kLong && length == 4)
      v = getU32(data);
    else
      return false;
    (tag == 40962 ? width : height) = v;
    return true;
  }
  return true;
}

void cCR2DataProps::reset() {
  std::memset(slices, 0, sizeof slices);
  stripOffset = stripBytes = 0;
}

bool cCR2DataProps::onTag(int tag, int type, const void* data, int length) {
  if (tag == 50752) {
    if (length < 6 || (type != kShort && length != 6)) return false;
    for (int i = 0; i < 3; ++i) slices[i] = getU16(static_cast<const unsigned char*>(data) + 2 * i);
  } else if (tag == 273 || tag == 279) {
    if (length < 4 || (type != kLong && length != 4)) return false;
    (tag == 273 ? stripOffset : stripBytes) = getU32(data);
  }
  return true;
}

bool cCR2JpegProps::onTag(int tag, int type, const void* data, int length) {
  if (tag == 513 || tag == 514) {
    // A thumbnail the walk cannot place is no reason to refuse the sensor's data.
    unsigned int v = 0;
    if (getValU32(sTagProcessParam{tag, type, data, length}, v)) (tag == 513 ? jpegOffset : jpegLength) = v;
  }
  return true;
}

bool cPictCR2::getModelName(_guardchar<char>& out) const {
  if (!myModelName.ptr) return false;
  out.set(myModelName.ptr);
  return true;
}

bool cPictCR2::isFullConfig() {
  return myNote.sensor[1] && myNote.sensor[2] && myExif.width && myExif.height && myData.stripOffset &&
         myData.stripBytes && myNote.balance[0] && myNote.balance[1] && myNote.balance[2] && myNote.model &&
         myModelName.ptr;
}
