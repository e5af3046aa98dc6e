#include "propreader/simpleimageprops.h"

#include <climits>

#include "base/targets.h"

namespace {

// The file-type index of each decoder type code; DIB, XPM and the unused
// codes give the generic picture.
int fileTypeOf(cPictBase* decoder) {
  if (!decoder) return 14;
  switch (decoder->typeOf()) {
    case kPictJPEG: return 8;
    case kPictTIFF: return 13;
    case kPictPNG: return 10;
    case kPictNEF: return 23;
    case kPictBMP: return 1;
    case kPictICO: return 5;
    case kPictJP2: return 7;
    case kPictJ2K: return 6;
    case kPictCR2: return 16;
    case kPictGIF: return 3;
    case kPictICNS: return 4;
    case kPictCRW: return 17;
    case kPictDNG: return 18;
    case kPictMOS: return 21;
    case kPictTIFF_EP: return 29;
    case kPict3FR: return 19;
    case kPictRAF: return 26;
    case kPictRWL: return 27;
    case kPictIIQ: return 20;
    case kPictSRW: return 28;
    case kPictPEF: return 25;
    case kPictARW: return 15;
    case kPictMRW: return 22;
    case kPictORF: return 24;
    case kPictX3F: return 30;
    case kPictTGA: return 12;
    case kPictPPM: return 11;
    case kPictPCX: return 9;
    case kPictDICOM:
    case kPictDICOMLegacy: return 2;
    default: return 14;
  }
}

long long previewLimit(int preference) { return preference < 0 ? INT_MAX : preference; }

}  // namespace

cSimpleImageProps::cSimpleImageProps(cPictBase* decoder)
    : myDecoder(decoder), myType(fileTypeOf(decoder)) {}

bool cSimpleImageProps::load(cFileIOTarget* io, int, bool wantPreview) {
  cPictBase::sPictInfo info;
  if (!myDecoder || !io || !myDecoder->isPicture(io, &info)) return false;
  // Sizes past what an int holds are no sizes the manager can show.
  if (info.width > INT_MAX || info.height > INT_MAX) return false;
  setProp(kWidth, static_cast<int>(info.width));
  setProp(kHeight, static_cast<int>(info.height));
  if (myDecoder->supportsMultipage()) {
    io->set_fp(0);
    setProp(kPages, myDecoder->getNumPages(io));
  }
  if ((!info.hasPreview && !wantPreview) || myPrefWidth == 0 || myPrefHeight == 0) return true;
  io->set_fp(0);
  cPictDummy preview;
  if (cPictBase::getPreview(io, preview, previewLimit(myPrefWidth), previewLimit(myPrefHeight), true,
                            0xFFFFFF) == 0 &&
      !preview.is16Bpp() && preview.raw8Bpp())
    setProp(kPreview, &preview);
  return true;
}
