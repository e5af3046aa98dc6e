// The directory walker over arbitrary bytes: every entry of every IFD of the
// chain through the typed getters, as a reader of pages and RAW files would.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/tiffgeneric.h"

namespace {

volatile long long gSink;

class cEveryGetter : public cTiffGeneric {
 public:
  bool onTag(int tag, int type, const void* data, int length) override {
    sTagProcessParam t{tag, type, data, length};
    _typebuf<unsigned int> u32;
    _typebuf<double> doubles;
    _typebuf<char> text;
    _typebuf<int> i32;
    _typebuf<sRational> rationals;
    unsigned int one = 0;
    long long sum = 0;
    if (getValsU32(t, u32)) sum += u32.count;
    if (getValsDouble(t, doubles)) sum += doubles.count;
    if (getValsI32(t, i32)) sum += i32.count;
    if (getValsRational(t, rationals)) sum += rationals.count;
    if (getValU32(t, one)) sum += one;
    if (getValsPCHAR(t, text)) {
      sTimestamp when;
      sum += getDate(text.ptr, static_cast<int>(text.count - 1), when);
    }
    gSink = sum;
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cEveryGetter walker;
  if (!walker.processStream(&io, cTiffGeneric::kAskSize)) return 0;
  // A forged chain may come back to an IFD; the bound stands in for a visited set.
  for (int i = 0; i < 64 && walker.nextOffset(); ++i)
    if (!walker.processStream(&io, walker.isBigEndian(), walker.isBigTiff(), walker.nextOffset(),
                              cTiffGeneric::kAskSize))
      break;
  return 0;
}
