// Packets: the order they come in, their headers, and the code-block bytes
// they carry.
#include <algorithm>
#include <cstring>

#include "picts/jp2tile.h"

void cJP2TgtTree::init(unsigned int w, unsigned int h) {
  nodes.clear();
  if (w == 0 || h == 0) return;
  // Level by level from the leaves, each level halving until one node is left.
  std::vector<std::pair<unsigned int, unsigned int>> levels;
  unsigned long long total = 0;
  for (unsigned int lw = w, lh = h;; lw = (lw + 1) / 2, lh = (lh + 1) / 2) {
    levels.push_back({lw, lh});
    total += static_cast<unsigned long long>(lw) * lh;
    if (lw == 1 && lh == 1) break;
  }
  nodes.resize(total);
  size_t at = 0;
  for (size_t l = 0; l < levels.size(); ++l) {
    auto [lw, lh] = levels[l];
    size_t next = at + static_cast<size_t>(lw) * lh;
    for (unsigned int y = 0; y < lh; ++y)
      for (unsigned int x = 0; x < lw; ++x) {
        sNode& n = nodes[at + static_cast<size_t>(y) * lw + x];
        n.parent = l + 1 < levels.size() ? static_cast<int>(next + (y / 2) * levels[l + 1].first + x / 2) : -1;
      }
    at = next;
  }
  reset();
}

void cJP2TgtTree::reset() {
  for (sNode& n : nodes) {
    n.value = 999;
    n.low = 0;
  }
}

bool cJP2TgtTree::decode(cJP2Bio& bio, unsigned int leaf, int threshold) {
  int path[64];
  int depth = 0;
  for (int n = static_cast<int>(leaf); n >= 0 && depth < 64; n = nodes[static_cast<size_t>(n)].parent)
    path[depth++] = n;
  int low = 0;
  for (int i = depth - 1; i >= 0; --i) {
    sNode& node = nodes[static_cast<size_t>(path[i])];
    if (low > node.low)
      node.low = low;
    else
      low = node.low;
    while (low < threshold && low < node.value) {
      if (bio.bit()) {
        node.value = low;
        break;
      }
      ++low;
    }
    node.low = low;
  }
  return nodes[leaf].value < threshold;
}

bool cJP2PiIterator::init(const cJP2Image& image, const cJP2Tcp& tcp, const sJP2TcdTile& tile,
                          size_t headerBytes) {
  numlayers = tcp.numlayers;
  comps.assign(tile.numcomps, {});
  maxres = 0;
  maxprec = 0;
  unsigned long long total = 0;
  stepx = stepy = 0;
  for (unsigned int c = 0; c < tile.numcomps; ++c) {
    const sJP2TcdTileComp& tc = tile.comps.ptr[c];
    const sJP2Tccp& tccp = (*tcp.tccps)[c];
    sCompInfo& ci = comps[c];
    ci.dx = image.comps.ptr[c].dx;
    ci.dy = image.comps.ptr[c].dy;
    ci.numres = tc.numresolutions;
    if (ci.numres > maxres) maxres = ci.numres;
    ci.res.resize(ci.numres);
    for (unsigned int r = 0; r < ci.numres; ++r) {
      sResInfo& ri = ci.res[r];
      ri.pdx = tccp.prcw[r];
      ri.pdy = tccp.prch[r];
      ri.pw = tc.resolutions[r].pw;
      ri.ph = tc.resolutions[r].ph;
      ri.first = static_cast<long long>(total);
      unsigned long long precincts = static_cast<unsigned long long>(ri.pw) * ri.ph;
      if (precincts > maxprec) maxprec = precincts;
      total += precincts * numlayers;
      if (total > headerBytes) return false;
      unsigned int levelno = ci.numres - 1 - r;
      unsigned long long sx = static_cast<unsigned long long>(ci.dx) << (ri.pdx + levelno);
      unsigned long long sy = static_cast<unsigned long long>(ci.dy) << (ri.pdy + levelno);
      if (stepx == 0 || sx < static_cast<unsigned long long>(stepx)) stepx = static_cast<long long>(sx);
      if (stepy == 0 || sy < static_cast<unsigned long long>(stepy)) stepy = static_cast<long long>(sy);
    }
  }
  included.assign(total, 0);
  positionBudget = 16 * total + (1ULL << 20);
  tx0 = tile.x0;
  ty0 = tile.y0;
  tx1 = tile.x1;
  ty1 = tile.y1;
  return true;
}

sJP2Poc cJP2PiIterator::whole(unsigned int prg) const {
  sJP2Poc p;
  p.layno1 = numlayers;
  p.resno1 = maxres;
  p.compno1 = static_cast<unsigned int>(comps.size());
  p.prg = prg;
  return p;
}

bool cJP2PiIterator::take(unsigned int layno, unsigned int resno, unsigned int compno, unsigned int precno) {
  const sResInfo& ri = comps[compno].res[resno];
  size_t at = static_cast<size_t>(ri.first) + static_cast<size_t>(layno) * ri.pw * ri.ph + precno;
  if (included[at]) return false;
  included[at] = 1;
  return true;
}

namespace {

unsigned long long ceilDiv(unsigned long long a, unsigned long long b) { return (a + b - 1) / b; }

}  // namespace

long long cJP2PiIterator::precinctAt(unsigned int compno, unsigned int resno, long long x, long long y) const {
  const sCompInfo& ci = comps[compno];
  const sResInfo& ri = ci.res[resno];
  if (ri.pw == 0 || ri.ph == 0) return -1;
  unsigned int levelno = ci.numres - 1 - resno;
  unsigned long long dxl = static_cast<unsigned long long>(ci.dx) << levelno;
  unsigned long long dyl = static_cast<unsigned long long>(ci.dy) << levelno;
  unsigned long long trx0 = ceilDiv(static_cast<unsigned long long>(tx0), dxl);
  unsigned long long try0 = ceilDiv(static_cast<unsigned long long>(ty0), dyl);
  unsigned int rpx = ri.pdx + levelno, rpy = ri.pdy + levelno;
  unsigned long long ux = static_cast<unsigned long long>(x), uy = static_cast<unsigned long long>(y);
  if (!(uy % (static_cast<unsigned long long>(ci.dy) << rpy) == 0 ||
        (y == ty0 && ((try0 << levelno) % (1ULL << rpy)) != 0)))
    return -1;
  if (!(ux % (static_cast<unsigned long long>(ci.dx) << rpx) == 0 ||
        (x == tx0 && ((trx0 << levelno) % (1ULL << rpx)) != 0)))
    return -1;
  unsigned long long prci = (ceilDiv(ux, dxl) >> ri.pdx) - (trx0 >> ri.pdx);
  unsigned long long prcj = (ceilDiv(uy, dyl) >> ri.pdy) - (try0 >> ri.pdy);
  if (prci >= ri.pw || prcj >= ri.ph) return -1;
  return static_cast<long long>(prci + prcj * ri.pw);
}

template <typename F>
bool cJP2PiIterator::positional(const sJP2Poc& prog, F&& yield) {
  // Components whose precincts are narrow one way and others narrow the
  // other way make a grid of positions far larger than their packets; past
  // a generous share per packet the walk gives up rather than spin.
  unsigned long long visits = 0;
  auto visit = [&](unsigned int c, unsigned int r, long long x, long long y) {
    if (++visits > positionBudget) return false;
    if (r >= comps[c].numres) return true;
    long long precno = precinctAt(c, r, x, y);
    if (precno < 0) return true;
    for (unsigned int l = 0; l < prog.layno1; ++l)
      if (take(l, r, c, static_cast<unsigned int>(precno)) &&
          !yield(sJP2Packet{l, r, c, static_cast<unsigned int>(precno)}))
        return false;
    return true;
  };
  auto next = [](long long v, long long step) { return v + step - v % step; };
  if (stepx <= 0 || stepy <= 0) return true;
  switch (prog.prg) {
    case 2:  // resolution, position, component, layer
      for (unsigned int r = prog.resno0; r < prog.resno1; ++r)
        for (long long y = ty0; y < ty1; y = next(y, stepy))
          for (long long x = tx0; x < tx1; x = next(x, stepx))
            for (unsigned int c = prog.compno0; c < prog.compno1; ++c)
              if (!visit(c, r, x, y)) return false;
      return true;
    case 3:  // position, component, resolution, layer
      for (long long y = ty0; y < ty1; y = next(y, stepy))
        for (long long x = tx0; x < tx1; x = next(x, stepx))
          for (unsigned int c = prog.compno0; c < prog.compno1; ++c)
            for (unsigned int r = prog.resno0; r < prog.resno1; ++r)
              if (!visit(c, r, x, y)) return false;
      return true;
    default:  // component, position, resolution, layer
      for (unsigned int c = prog.compno0; c < prog.compno1; ++c)
        for (long long y = ty0; y < ty1; y = next(y, stepy))
          for (long long x = tx0; x < tx1; x = next(x, stepx))
            for (unsigned int r = prog.resno0; r < prog.resno1; ++r)
              if (!visit(c, r, x, y)) return false;
      return true;
  }
}

template <typename F>
bool cJP2PiIterator::run(const sJP2Poc& given, F&& yield) {
  sJP2Poc prog = given;
  if (prog.layno1 > numlayers) prog.layno1 = numlayers;
  if (prog.resno1 > maxres) prog.resno1 = maxres;
  if (prog.compno1 > comps.size()) prog.compno1 = static_cast<unsigned int>(comps.size());
  auto precincts = [&](unsigned int l, unsigned int r, unsigned int c) {
    if (r >= comps[c].numres) return true;
    const sResInfo& ri = comps[c].res[r];
    for (unsigned int p = 0; p < ri.pw * ri.ph; ++p)
      if (take(l, r, c, p) && !yield(sJP2Packet{l, r, c, p})) return false;
    return true;
  };
  switch (prog.prg) {
    case 0:  // layer, resolution, component, position
      for (unsigned int l = 0; l < prog.layno1; ++l)
        for (unsigned int r = prog.resno0; r < prog.resno1; ++r)
          for (unsigned int c = prog.compno0; c < prog.compno1; ++c)
            if (!precincts(l, r, c)) return false;
      return true;
    case 1:  // resolution, layer, component, position
      for (unsigned int r = prog.resno0; r < prog.resno1; ++r)
        for (unsigned int l = 0; l < prog.layno1; ++l)
          for (unsigned int c = prog.compno0; c < prog.compno1; ++c)
            if (!precincts(l, r, c)) return false;
      return true;
    case 2:
    case 3:
    case 4:
      return positional(prog, yield);
    default:
      return false;
  }
}

namespace {

unsigned int floorLog2(unsigned int v) { return 31 - static_cast<unsigned int>(__builtin_clz(v)); }

// Segments close after as many passes as the termination style lets them hold.
unsigned int maxPasses(unsigned int cblksty, const std::vector<sJP2Seg>& segs) {
  if (cblksty & 4) return 1;
  if (cblksty & 1) {
    if (segs.empty()) return 10;
    unsigned int prev = segs.back().maxpasses;
    return prev == 1 || prev == 10 ? 2 : 1;
  }
  return 109;
}

// No code-block can use more passes than 30 bit-planes give.
constexpr unsigned int kMaxCblkPasses = 3 * 30;

// The most bytes a code-block's passes can fill: P bit-planes give at most
// 3P - 2 passes, and a pass codes each sample once with up to three
// decisions (a run's two position bits among them), none costing the
// arithmetic coder more than 16 bits. Far beyond any coder's output, yet
// bounded by the block rather than by a fixed figure.
unsigned int cblkByteLimit(const sJP2TcdCblkDec& cblk, unsigned int roishift) {
  const long long planes = cblk.numbps + static_cast<long long>(roishift);
  const long long passes = std::max(1LL, 3 * planes - 2);
  const long long samples = (cblk.x1 - cblk.x0) * (cblk.y1 - cblk.y0);
  return static_cast<unsigned int>(passes * (6 * samples + 2));
}

}  // namespace

bool cJP2Tier2::readHeader(cJP2Tcp& tcp, sJP2TcdResolution& res, const sJP2Packet& pk, bool& empty) {
  const sJP2Tccp& tccp = (*tcp.tccps)[pk.compno];
  bio.start(hdr, hdrLeft);
  empty = !bio.bit();
  if (!empty) {
    for (unsigned int b = 0; b < res.numbands; ++b) {
      sJP2TcdBand& band = res.bands[b];
      if (band.empty()) continue;
      sJP2TcdPrecinct& prc = band.precincts[pk.precno];
      for (unsigned int cb = 0; cb < prc.cblks.size(); ++cb) {
        sJP2TcdCblkDec& cblk = prc.cblks[cb];
        cblk.newpasses = 0;
        bool in = cblk.included ? bio.bit() != 0 : prc.incltree.decode(bio, cb, static_cast<int>(pk.layno) + 1);
        if (!in) continue;
        if (!cblk.included) {
          // A region of interest lifts the coded planes by its shift, so
          // a background block may lack that many more leading planes.
          const int most = band.numbps + 1 + static_cast<int>(tccp.roishift);
          int k = 0;
          while (!prc.imsbtree.decode(bio, cb, k))
            if (++k > most) return false;
          cblk.numbps = band.numbps + 1 - k;
          if (cblk.numbps + static_cast<int>(tccp.roishift) > 30) return false;
          cblk.numlenbits = 3;
          cblk.included = true;
        }
        unsigned int n;
        if (!bio.bit())
          n = 1;
        else if (!bio.bit())
          n = 2;
        else if ((n = bio.bits(2)) != 3)
          n += 3;
        else if ((n = bio.bits(5)) != 31)
          n += 6;
        else
          n = 37 + bio.bits(7);
        while (bio.bit())
          if (++cblk.numlenbits > 32) return false;
        cblk.totalPasses += n;
        if (cblk.totalPasses > kMaxCblkPasses) return false;
        cblk.newpasses = n;
        if (cblk.segs.empty() || cblk.segs.back().numpasses == cblk.segs.back().maxpasses) {
          sJP2Seg seg;
          seg.maxpasses = maxPasses(tccp.cblksty, cblk.segs);
          cblk.segs.push_back(seg);
        }
        cblk.firstNewSeg = static_cast<unsigned int>(cblk.segs.size() - 1);
        for (;;) {
          sJP2Seg& seg = cblk.segs.back();
          seg.newpasses = std::min(seg.maxpasses - seg.numpasses, n);
          unsigned int lenBits = cblk.numlenbits + floorLog2(seg.newpasses);
          if (lenBits > 32) return false;
          seg.newlen = bio.bits(static_cast<int>(lenBits));
          n -= seg.newpasses;
          if (n == 0) break;
          sJP2Seg more;
          more.maxpasses = maxPasses(tccp.cblksty, cblk.segs);
          cblk.segs.push_back(more);
        }
      }
    }
  }
  if (!bio.align() && !empty) return false;
  size_t used = bio.consumed();
  hdr += used;
  hdrLeft -= used;
  if ((tcp.csty & 4) && hdrLeft >= 2 && hdr[0] == 0xFF && hdr[1] == 0x92) {
    hdr += 2;
    hdrLeft -= 2;
  }
  return true;
}

bool cJP2Tier2::decodePacket(cJP2Tcp& tcp, sJP2TcdTile& tile, const sJP2Packet& pk) {
  sJP2TcdTileComp& tc = tile.comps.ptr[pk.compno];
  sJP2TcdResolution& res = tc.resolutions[pk.resno];
  if (pk.layno == 0)
    for (unsigned int b = 0; b < res.numbands; ++b) {
      if (res.bands[b].empty()) continue;
      sJP2TcdPrecinct& prc = res.bands[b].precincts[pk.precno];
      prc.incltree.reset();
      prc.imsbtree.reset();
    }
  if ((tcp.csty & 2) && bodyLeft >= 2 && body[0] == 0xFF && body[1] == 0x91) {
    if (bodyLeft < 6) return false;
    body += 6;
    bodyLeft -= 6;
  }
  if (!fromPpt) {
    hdr = body;
    hdrLeft = bodyLeft;
  }
  bool empty;
  if (!readHeader(tcp, res, pk, empty)) return false;
  if (!fromPpt) {
    body = hdr;
    bodyLeft = hdrLeft;
  }
  if (empty) return true;
  const unsigned int roishift = (*tcp.tccps)[pk.compno].roishift;
  for (unsigned int b = 0; b < res.numbands; ++b) {
    sJP2TcdBand& band = res.bands[b];
    if (band.empty()) continue;
    for (sJP2TcdCblkDec& cblk : band.precincts[pk.precno].cblks) {
      if (cblk.newpasses == 0) continue;
      const unsigned int limit = cblkByteLimit(cblk, roishift);
      for (size_t s = cblk.firstNewSeg; s < cblk.segs.size(); ++s) {
        sJP2Seg& seg = cblk.segs[s];
        if (seg.newlen > bodyLeft || cblk.dataLen > limit || seg.newlen > limit - cblk.dataLen) return false;
        if (seg.numpasses == 0) seg.dataStart = cblk.dataLen;
        cblk.data.resize(cblk.dataLen + seg.newlen + 2);
        if (seg.newlen) std::memcpy(cblk.data.data() + cblk.dataLen, body, seg.newlen);
        cblk.dataLen += seg.newlen;
        body += seg.newlen;
        bodyLeft -= seg.newlen;
        seg.numpasses += seg.newpasses;
        seg.len += seg.newlen;
        seg.newpasses = 0;
        seg.newlen = 0;
      }
      cblk.newpasses = 0;
    }
  }
  return true;
}

bool cJP2Tier2::decodePackets(const cJP2Image& image, cJP2Tcp& tcp, sJP2TcdTile& tile) {
  fromPpt = tcp.pptSeen;
  body = tcp.data.data();
  bodyLeft = tcp.data.size();
  hdr = fromPpt ? tcp.ppt.data() : body;
  hdrLeft = fromPpt ? tcp.ppt.size() : bodyLeft;
  cJP2PiIterator pi;
  if (!pi.init(image, tcp, tile, hdrLeft)) return false;
  auto packet = [&](const sJP2Packet& pk) { return decodePacket(tcp, tile, pk); };
  if (tcp.pocs.empty()) return pi.run(pi.whole(tcp.prg), packet);
  for (const sJP2Poc& poc : tcp.pocs)
    if (!pi.run(poc, packet)) return false;
  return true;
}
