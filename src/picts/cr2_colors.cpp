// The process-wide CR2 model maps: filled once from the model tables, then
// only read, whichever thread decodes first.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>

#include "base/btree.h"
#include "picts/cr2.h"
#include "picts/cr2_models.h"

namespace {

cFasterTreeList<unsigned int, cPictCR2::sCamColor>& colorMap() {
  static cFasterTreeList<unsigned int, cPictCR2::sCamColor> map;
  return map;
}

cFasterTreeList<unsigned int, sMarginInfo>& marginMap() {
  static cFasterTreeList<unsigned int, sMarginInfo> map;
  return map;
}

std::once_flag gColorsOnce, gMarginsOnce;

// Models of the earliest generation that share one matrix without a row.
constexpr unsigned int kEarlyModels[] = {0x01560000, 0x01570000, 0x01960000, 0x01990000, 0x02130000,
                                         0x02140000, 0x02180000, 0x02380000, 0x02390000};

const double* fallbackMatrix(unsigned int id) {
  return id >= 0x80000001 ? kCanonLaterMatrix : kIdentityMatrix;
}

}  // namespace

void cPictCR2::initColors() {
  std::call_once(gColorsOnce, [] {
    for (const sCanonColorRow& row : gCanonColors) {
      sCamColor* c = colorMap().insert(row.id);
      c->black = 0;
      c->white = row.white;
      std::memcpy(c->matrix, row.matrix, sizeof c->matrix);
    }
  });
}

void cPictCR2::initMargins() {
  std::call_once(gMarginsOnce, [] {
    for (const sCanonMarginRow& row : gCanonMargins) *marginMap().insert(row.id) = row.margins;
  });
}

bool cPictCR2::getColors(unsigned short& black, unsigned short& white, double (&matrix)[3][3]) const {
  const unsigned int id = myNote.model;
  const sCamColor* row = colorMap().find(id);
  const double* m = row ? row->matrix : nullptr;
  black = 0;
  white = row ? row->white : 0;
  if (!row) {
    const bool early =
        std::find(std::begin(kEarlyModels), std::end(kEarlyModels), id) != std::end(kEarlyModels);
    m = early ? kCanonEarlyMatrix : fallbackMatrix(id);
    white = !early && id >= 0x80000001 ? 3616 : 0;
  }
  for (int i = 0; i < 9; ++i) matrix[i / 3][i % 3] = m[i];
  return row != nullptr;
}

bool cPictCR2::getMargins() {
  const sMarginInfo* m = marginMap().find(myNote.model);
  myMargins = m ? *m : sMarginInfo{};
  return m != nullptr;
}
