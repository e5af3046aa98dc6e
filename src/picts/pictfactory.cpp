// Picks the decoder for a stream, and turns streams and decoded pictures into
// bitmaps that fit a caller's box, never enlarged, proportions kept.
#include <cmath>

#include "base/targets.h"
#include "picts/cr2.h"
#include "picts/crw.h"
#include "picts/h3fr.h"
#include "picts/keptreads.h"
#include "picts/mos.h"
#include "picts/mrw.h"
#include "picts/nef.h"
#include "picts/pictarw.h"
#include "picts/pictbase.h"
#include "picts/pictdib.h"
#include "picts/pictdicom.h"
#include "picts/pictdicoml.h"
#include "picts/pictgif.h"
#include "picts/picticns.h"
#include "picts/pictico.h"
#include "picts/pictiiq.h"
#include "picts/pictjp2.h"
#include "picts/pictjpeg.h"
#include "picts/pictorf.h"
#include "picts/pictpcx.h"
#include "picts/pictpef.h"
#include "picts/pictpng.h"
#include "picts/pictppm.h"
#include "picts/pictraf.h"
#include "picts/pictrwl.h"
#include "picts/pictsrw.h"
#include "picts/picttga.h"
#include "picts/picttiff.h"
#include "picts/pictx3f.h"
#include "picts/pictxpm.h"

namespace {

struct sFormat {
  bool (*validFor)(cFileIOTarget*, cPictBase::sPictInfo*);
  cPictBase* (*make)();
};

template <typename T>
cPictBase* makeDecoder() {
  return new T;
}

// The first format that recognises a stream wins, so the order matters:
// formats with firm signatures come before the guessed ones.
constexpr sFormat kProbeList[] = {
    {&cPictJPEG::validFor, &makeDecoder<cPictJPEG>},
    {&cPictPNG::validFor, &makeDecoder<cPictPNG>},
    {&cPictGIF::validFor, &makeDecoder<cPictGIF>},
    {&cPictBMP::validFor, &makeDecoder<cPictBMP>},
    {&cPictDIB::validFor, &makeDecoder<cPictDIB>},
    {&cPictICO::validFor, &makeDecoder<cPictICO>},
    {&cPictJP2::validFor, &makeDecoder<cPictJP2>},
    {&cPictJ2K::validFor, &makeDecoder<cPictJ2K>},
    {&cPictICNS::validFor, &makeDecoder<cPictICNS>},
    {&cPictTGA::validFor, &makeDecoder<cPictTGA>},
    // 11 to 26: the camera formats, whose files are TIFF too, so before it
    {&cPictMRW::validFor, &makeDecoder<cPictMRW>},          // 11
    {&cPictRWL::validFor, &makeDecoder<cPictRWL>},          // 12
    {&cPictORF::validFor, &makeDecoder<cPictORF>},          // 13
    {&cPictX3F::validFor, &makeDecoder<cPictX3F>},          // 14
    {&cPictPEF::validFor, &makeDecoder<cPictPEF>},          // 15
    {&cPictARW::validFor, &makeDecoder<cPictARW>},          // 16
    {&cPictSRW::validFor, &makeDecoder<cPictSRW>},          // 17
    {&cPictIIQ::validFor, &makeDecoder<cPictIIQ>},          // 18
    {&cPictRAF::validFor, &makeDecoder<cPictRAF>},          // 19
    {&cPictCRW::validFor, &makeDecoder<cPictCRW>},          // 20
    {&cPictMOS::validFor, &makeDecoder<cPictMOS>},          // 21
    {&cPictCR2::validFor, &makeDecoder<cPictCR2>},          // 22
    {&cPictNEF::validFor, &makeDecoder<cPictNEF>},          // 23
    {&cPict3FR::validFor, &makeDecoder<cPict3FR>},          // 24
    {&cPictDNG::validFor, &makeDecoder<cPictDNG>},          // 25
    {&cPictTIFF_EP::validFor, &makeDecoder<cPictTIFF_EP>},  // 26
    {&cPictTIFF::validFor, &makeDecoder<cPictTIFF>},
    {&cPictPPM::validFor, &makeDecoder<cPictPPM>},
    {&cPictPCX::validFor, &makeDecoder<cPictPCX>},
    {&cPictDICOM::validFor, &makeDecoder<cPictDICOM>},
    {&cPictDICOMLegacy::validFor, &makeDecoder<cPictDICOMLegacy>},
    {&cPictXPM::validFor, &makeDecoder<cPictXPM>},
};

long long scaled(long long n, double r) { return static_cast<long long>(static_cast<double>(n) * r + 0.5); }

double fitRatio(long long w, long long h, long long maxW, long long maxH) {
  return std::fmin(1.0, std::fmin(static_cast<double>(maxW) / w, static_cast<double>(maxH) / h));
}

// Draws `pict` into `out`, created at w x h, centred over `background`.
bool drawInto(cPictBase& pict, cPictDummy& out, long long w, long long h, unsigned int background) {
  if (!out.create(w, h, 0)) return false;
  cPictBase::sExtPictDef target(&out);
  target.background = background;
  return pict.toExtTarget(&target);
}

}  // namespace

cPictBase* cPictBase::mkPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!io) return nullptr;
  // The probes read the same directory one after another; the decode reads
  // it for itself, and the picture may keep the stream it decoded.
  cKeptReads probed(io);
  for (const sFormat& format : kProbeList) {
    probed.set_fp(0);
    if (!format.validFor(&probed, info)) continue;
    cPictBase* pict = format.make();
    if (info) return pict;
    io->set_fp(0);
    if (pict->decode(io)) return pict;
    delete pict;
  }
  return nullptr;
}

const char* cPictBase::unreadableKind(cFileIOTarget* io) {
  if (!io) return nullptr;
  io->set_fp(0);
  if (cPictJP2Base::highThroughput(io)) return "high-throughput JPEG 2000 is not supported";
  io->set_fp(0);
  return cPictTIFF::holdsSensorMosaic(io) ? "a camera raw mosaic no camera reader here takes" : nullptr;
}

int cPictBase::getImage(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH,
                        unsigned int background) {
  if (!io) return 1;
  sPictInfo info;
  cPtr<cPictBase> pict(mkPicture(io, &info));
  if (!pict) return 3;
  pict->setWantAlts(false);
  // A probed size below 1 would be divided by.
  if (maxW < 1 || maxH < 0 || info.width < 1 || info.height < 1) return 1;
  io->set_fp(0);
  long long w = info.width, h = info.height;
  double r = std::fmin(static_cast<double>(maxW) / w, static_cast<double>(maxH ? maxH : h) / h);
  if (r >= 1) {
    if (!pict->decode(io)) return 4;
    if (!pict->is16Bpp()) {
      pict->moveTo(out);
      return 0;
    }
    return static_cast<cPictBase&>(out).adoptColorData(*pict) ? 0 : 2;
  }
  long long sw = scaled(w, r), sh = scaled(h, r);
  if (sw < 1 || sh < 1) return 1;
  if (!out.create(sw, sh, 0)) return 4;
  sExtPictDef target(&out);
  target.background = background;
  if (pict->supportsExtRendering()) return pict->setExtTarget(&target) && pict->decode(io) ? 0 : 4;
  if (!pict->decode(io)) return 4;
  return pict->toExtTarget(&target) ? 0 : 2;
}

int cPictBase::getPreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH,
                          bool allowDecode, unsigned int background) {
  if (!io || maxW < 1 || maxH < 1) return 1;
  sPictInfo info;
  cPtr<cPictBase> pict(mkPicture(io, &info));
  if (!pict) return 3;
  if (info.width < 1 || info.height < 1) return 1;
  io->set_fp(0);
  return getPreviewFor(pict.ptr, info, io, out, maxW, maxH, allowDecode, background);
}

int cPictBase::getPreviewFor(cPictBase* pict, sPictInfo& info, cFileIOTarget* io, cPictDummy& out,
                             long long maxW, long long maxH, bool allowDecode, unsigned int background) {
  if (!pict || !io || maxW < 1 || maxH < 1 || info.width < 1 || info.height < 1) return 1;
  double r = fitRatio(info.width, info.height, maxW, maxH);
  long long sw = scaled(info.width, r), sh = scaled(info.height, r);
  if (sw < 1 || sh < 1) return 1;
  if (info.hasPreview) {
    cPictDummy preview;
    if (pict->getPreview(io, preview, &sw, &sh) && preview.width() >= 1 && preview.height() >= 1) {
      long long pw = preview.width(), ph = preview.height();
      if (pw <= maxW && ph <= maxH) {
        preview.moveTo(out);
        return 0;
      }
      double r2 = fitRatio(pw, ph, maxW, maxH);
      long long qw = scaled(pw, r2), qh = scaled(ph, r2);
      return drawInto(preview, out, qw < 1 ? 1 : qw, qh < 1 ? 1 : qh, background) ? 0 : 2;
    }
  }
  if (!allowDecode) return 5;
  if (!out.create(sw, sh, 0)) return 2;
  sExtPictDef target(&out);
  target.background = background;
  io->set_fp(0);
  if (pict->supportsExtRendering()) return pict->setExtTarget(&target) && pict->decode(io) ? 0 : 4;
  if (!pict->decode(io)) return 4;
  return pict->toExtTarget(&target) ? 0 : 2;
}

bool cPictBase::imgToPreview(cPictBase& pict, cPictDummy& out, long long maxW, long long maxH,
                             unsigned int background) {
  long long w = pict.width(), h = pict.height();
  if (w < 1 || h < 1 || pict.is16Bpp() || !pict.raw8Bpp()) return false;
  if (w <= maxW && h <= maxH) {
    pict.moveTo(out);
    return true;
  }
  if (maxW < 1 || maxH < 1) return false;
  double r = fitRatio(w, h, maxW, maxH);
  long long sw = scaled(w, r), sh = scaled(h, r);
  if (sw < 1 || sh < 1 || !drawInto(pict, out, sw, sh, background)) return false;
  pict.close();
  return true;
}

bool cPictBase::decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH,
                                  int page, bool allowDecode, unsigned int background) {
  sPictInfo info;
  if (page != 0 || !io || !isPicture(io, &info)) return false;
  io->set_fp(0);
  return getPreviewFor(this, info, io, out, maxW, maxH, allowDecode, background) == 0;
}
