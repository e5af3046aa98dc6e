// The JP2 box layer around a codestream: signature, file type and header
// boxes, and what the colour boxes do to the decoded image.
#include <algorithm>
#include <cstring>
#include <new>

#include "picts/jp2codec.h"
#include "picts/pixelalloc.h"

namespace {

constexpr uint32_t kBoxSignature = 0x6A502020, kBoxFtyp = 0x66747970, kBoxJp2h = 0x6A703268,
                   kBoxJp2c = 0x6A703263, kBoxIhdr = 0x69686472, kBoxBpcc = 0x62706363, kBoxColr = 0x636F6C72,
                   kBoxPclr = 0x70636C72, kBoxCmap = 0x636D6170, kBoxCdef = 0x63646566;

uint32_t be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// A box header from the stream; the length counts the header.
bool readBoxHeader(cFileIOTarget* in, unsigned long long& length, uint32_t& type, unsigned int& headerLength) {
  uint8_t b[8];
  if (!in->readf(b, 8)) return false;
  length = be32(b);
  type = be32(b + 4);
  headerLength = 8;
  if (length == 1) {
    if (!in->readf(b, 8) || be32(b) != 0) return false;  // 4 GiB and more is not a picture of ours
    length = be32(b + 4);
    headerLength = 16;
  }
  return true;
}

void swapComps(sJP2ImageComp& a, sJP2ImageComp& b) {
  sJP2ImageComp t;
  t.copyShape(a);
  t.takeData(a.data);
  a.copyShape(b);
  a.takeData(b.data);
  b.copyShape(t);
  b.takeData(t.data);
}

}  // namespace

bool cJP2Decode::setup(unsigned int flags) {
  myFlags = flags;
  myColrTaken = false;
  return true;
}

bool cJP2Decode::readFtyp(const uint8_t* data, size_t n) {
  if (myBoxes != kSigBox || n < 8 || n % 4 != 0) return false;
  myBrand = be32(data);
  myMinorVersion = be32(data + 4);
  myCompat.clear();
  for (size_t at = 8; at < n; at += 4) myCompat.push_back(be32(data + at));
  myBoxes |= kFtypBox;
  return true;
}

bool cJP2Decode::readColr(sJP2Bytes& b, size_t n) {
  if (n < 3) return false;
  if (myColrTaken) return true;  // only the first colour box counts
  myMeth = b.u8();
  myPrec = b.u8();
  myApprox = b.u8();
  if (myMeth == 2) {
    myColor.icc.assign(b.p, b.end);
  } else if (myMeth == 1) {
    if (n < 7) return false;
    myEnumCs = b.u32();
    if (myEnumCs == 14) {
      const unsigned int kDefaults[8] = {kJP2LabDefaults, 100, 0, 0, 128, 255, 96, 0x00443530};
      std::memcpy(myLab, kDefaults, sizeof myLab);
      if (n == 35) {
        for (int i = 1; i < 8; ++i) myLab[i] = b.u32();
        myLab[0] = 0;
      }
    }
  }
  myColrTaken = true;
  return b.ok;
}

bool cJP2Decode::readPclr(sJP2Bytes& b) {
  if (myColor.pclr) return false;
  cPtr<sJP2Pclr> pclr(new sJP2Pclr);
  pclr->ne = b.u16();
  pclr->npc = b.u8();
  // A palette without entries or columns maps nothing.
  if (!b.ok || pclr->ne == 0 || pclr->npc == 0 || !b.has(pclr->npc)) return false;
  size_t entryBytes = 0;
  for (unsigned int i = 0; i < pclr->npc; ++i) {
    unsigned int v = b.u8();
    unsigned int depth = (v & 0x7F) + 1;
    if (depth > 32) return false;
    pclr->depth.push_back(static_cast<uint8_t>(depth));
    pclr->sign.push_back(static_cast<uint8_t>(v >> 7));
    entryBytes += (depth + 7) / 8;
  }
  if (b.left() < entryBytes * pclr->ne) return false;
  pclr->entries.resize(static_cast<size_t>(pclr->ne) * pclr->npc);
  for (size_t i = 0; i < pclr->entries.size(); ++i)
    pclr->entries[i] = b.take(static_cast<int>((pclr->depth[i % pclr->npc] + 7) / 8));
  myColor.pclr = pclr.ptr;
  pclr.ptr = nullptr;
  return b.ok;
}

bool cJP2Decode::readCmap(sJP2Bytes& b, size_t n) {
  sJP2Pclr* pclr = myColor.pclr.ptr;
  if (!pclr || pclr->hasCmap || n < pclr->npc * 4ULL) return false;
  std::vector<bool> taken(pclr->npc, false);
  for (unsigned int i = 0; i < pclr->npc; ++i) {
    sJP2Pclr::sCmap m;
    m.cmp = static_cast<uint16_t>(b.u16());
    m.mtyp = static_cast<uint8_t>(b.u8());
    m.pcol = static_cast<uint8_t>(b.u8());
    // A direct mapping fills its own record; no record may be filled twice.
    unsigned int target = m.mtyp ? m.pcol : i;
    if (target >= pclr->npc || taken[target]) return false;
    taken[target] = true;
    pclr->cmap.push_back(m);
  }
  pclr->hasCmap = true;
  return b.ok;
}

bool cJP2Decode::readCdef(sJP2Bytes& b, size_t n) {
  if (myColor.hasCdef || n < 2) return false;
  unsigned int count = b.u16();
  if (count == 0 || b.left() < count * 6ULL) return false;
  for (unsigned int i = 0; i < count; ++i) {
    cJP2Color::sCdef d;
    d.cn = static_cast<uint16_t>(b.u16());
    d.typ = static_cast<uint16_t>(b.u16());
    d.asoc = static_cast<uint16_t>(b.u16());
    myColor.cdefs.push_back(d);
  }
  myColor.hasCdef = true;
  return true;
}

bool cJP2Decode::readJp2h(const uint8_t* data, size_t n) {
  if (!(myBoxes & kFtypBox)) return false;
  myOtherSubBox = 0;
  sJP2Bytes b(data, n);
  while (b.left() > 0) {
    if (b.left() < 8) return false;
    unsigned long long length = b.u32();
    uint32_t type = b.u32();
    unsigned int header = 8;
    if (length == 0) return false;
    if (length == 1) {
      if (b.left() < 8) return false;
      unsigned int high = b.u32();
      length = b.u32();
      if (high != 0 || length == 0) return false;
      header = 16;
    }
    if (length < header || length - header > b.left()) return false;
    size_t subLength = static_cast<size_t>(length - header);
    sJP2Bytes sub(b.p, subLength);
    b.p += subLength;
    bool ok = true;
    switch (type) {
      case kBoxIhdr:
        if (subLength != 14) return false;
        myHeight = sub.u32();
        myWidth = sub.u32();
        myCompDepths.assign(sub.u16(), 0);
        myBpc = sub.u8();
        myC = sub.u8();
        myUnkC = sub.u8();
        myIpr = sub.u8();
        break;
      case kBoxBpcc:
        if (subLength != myCompDepths.size()) return false;
        std::copy(sub.p, sub.end, myCompDepths.begin());
        break;
      case kBoxColr:
        ok = readColr(sub, subLength);
        break;
      case kBoxPclr:
        ok = readPclr(sub);
        break;
      case kBoxCmap:
        ok = readCmap(sub, subLength);
        break;
      case kBoxCdef:
        ok = readCdef(sub, subLength);
        break;
      default:
        myOtherSubBox = 0x7FFFFFFF;
        break;
    }
    if (!ok) return false;
  }
  myBoxes |= kJp2hBox;
  return true;
}

bool cJP2Decode::walkBoxes(cJP2FileIOTarget* in) {
  unsigned long long length;
  uint32_t type;
  unsigned int header;
  if (!(myBoxes & kSigBox)) {
    uint8_t sig[4];
    if (!readBoxHeader(in, length, type, header) || type != kBoxSignature || length != 12 || !in->readf(sig, 4) ||
        be32(sig) != 0x0D0A870A || myBoxes != 0)
      return false;
    myBoxes |= kSigBox;
  }
  std::vector<uint8_t> data;
  for (;;) {
    if (!readBoxHeader(in, length, type, header)) return true;
    // The codestream box may run to the end of the file (length 0).
    if (type == kBoxJp2c) {
      if (!(myBoxes & kJp2hBox)) return false;
      myBoxes |= kCodestreamBox;
      return true;
    }
    const unsigned long long size = in->size(), pos = in->position;
    if (length < header || length - header > (size > pos ? size - pos : 0)) return false;
    if (type == kBoxSignature) return false;
    unsigned long long dataLength = length - header;
    if (type != kBoxFtyp && type != kBoxJp2h) {
      in->set_fp(pos + dataLength);
      continue;
    }
    data.resize(dataLength);
    if (dataLength && !in->readf(data.data(), static_cast<unsigned int>(dataLength))) return false;
    if (!(type == kBoxFtyp ? readFtyp(data.data(), data.size()) : readJp2h(data.data(), data.size()))) return false;
  }
}

bool cJP2Decode::readHeader(cJP2FileIOTarget* in, cPtr<cJP2Image>& image) {
  if (!in) return false;
  try {
    if (!walkBoxes(in)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return cJ2KDecode::readHeader(in, image);
}

bool cJP2Decode::endDecompress(cJP2FileIOTarget* in) {
  if (!in) return false;
  try {
    return walkBoxes(in);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool cJP2Decode::applyCdef(cJP2Image& image) {
  std::vector<cJP2Color::sCdef>& defs = myColor.cdefs;
  for (size_t i = 0; i < defs.size(); ++i) {
    unsigned int cn = defs[i].cn, asoc = defs[i].asoc;
    if (cn >= image.numcomps) return false;
    // Whole-image channels (0, 65535) and associations to nothing stay where they are.
    if (asoc == 0 || asoc == 65535 || asoc - 1 >= image.numcomps || cn == asoc - 1) continue;
    swapComps(image.comps.ptr[cn], image.comps.ptr[asoc - 1]);
    defs[i].asoc = static_cast<uint16_t>(cn + 1);
    if (asoc - 1 < defs.size()) defs[asoc - 1].asoc = static_cast<uint16_t>(defs[asoc - 1].cn + 1);
  }
  defs.clear();
  return true;
}

bool cJP2Decode::applyPalette(cJP2Image& image) {
  const sJP2Pclr& pclr = *myColor.pclr;
  for (const sJP2Pclr::sCmap& m : pclr.cmap)
    if (m.cmp >= image.numcomps || !image.comps.ptr[m.cmp].data.ptr) return false;
  _classbuf<sJP2ImageComp> comps;
  comps.set(pclr.npc);
  // Palette columns first, while every source still holds its samples.
  for (unsigned int i = 0; i < pclr.npc; ++i) {
    const sJP2Pclr::sCmap& m = pclr.cmap[i];
    if (!m.mtyp) continue;
    const sJP2ImageComp& src = image.comps.ptr[m.cmp];
    sJP2ImageComp& dst = comps.ptr[m.pcol];
    dst.copyShape(src);
    dst.prec = pclr.depth[i];
    dst.sgnd = pclr.sign[i];
    long long n = static_cast<long long>(src.w) * src.h;
    if (!allocPictSamples(dst.data, n)) return false;
    const long long last = pclr.ne - 1;
    for (long long j = 0; j < n; ++j) {
      long long k = std::clamp<long long>(src.data.ptr[j], 0, last);
      dst.data.ptr[j] = static_cast<int>(pclr.entries[static_cast<size_t>(k) * pclr.npc + m.pcol]);
    }
  }
  for (unsigned int i = 0; i < pclr.npc; ++i) {
    const sJP2Pclr::sCmap& m = pclr.cmap[i];
    if (m.mtyp) continue;
    sJP2ImageComp& src = image.comps.ptr[m.cmp];
    if (!src.data.ptr) return false;  // a component mapped directly twice
    comps.ptr[i].copyShape(src);
    comps.ptr[i].takeData(src.data);
  }
  std::swap(image.comps.ptr, comps.ptr);
  std::swap(image.comps.count, comps.count);
  image.numcomps = pclr.npc;
  return true;
}

bool cJP2Decode::decode(cJP2FileIOTarget* in, cJP2Image* image) {
  if (!cJ2KDecode::decode(in, image)) return false;
  std::memset(image->cielab, 0, sizeof image->cielab);
  if (myFlags & 1) return true;
  bool ok = true;
  try {
    if (!myColrTaken || myMeth != 1) {
      image->colorSpace = kJP2ColorNoEnum;
    } else {
      switch (myEnumCs) {
        case 16: image->colorSpace = kJP2ColorSRGB; break;
        case 17: image->colorSpace = kJP2ColorGrey; break;
        case 18: image->colorSpace = kJP2ColorSYCC; break;
        case 12: image->colorSpace = kJP2ColorCMYK; break;
        case 14:
          image->colorSpace = kJP2ColorCIELab;
          std::memcpy(image->cielab, myLab, sizeof myLab);
          break;
        default: image->colorSpace = kJP2ColorUnsupported; break;
      }
    }
    ok = applyCdef(*image);
    if (ok && myColor.pclr && myColor.pclr->hasCmap) ok = applyPalette(*image);
    myColor.pclr = nullptr;
    if (ok && !myColor.icc.empty()) {
      image->icc.set(static_cast<long long>(myColor.icc.size()));
      std::memcpy(image->icc.ptr, myColor.icc.data(), myColor.icc.size());
      myColor.icc.clear();
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok)
    for (unsigned int c = 0; c < image->comps.count; ++c) image->comps.ptr[c].data.set(0);
  return ok;
}
