// The UTF-8 and UTF-16 converters on arbitrary input: every buffer is sized
// exactly, so a read or write outside it is caught by the sanitizers, and
// the sizing, the position maps and the UTF-16 round trip are checked.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/textconv.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void bytesToUnits(const char* bytes, long long size, unsigned room) {
  const long long need = __a2w_require(bytes, size, 65001);
  std::vector<unsigned short> wide(static_cast<size_t>(need));
  check(__a2w(bytes, size, wide.data(), need, 65001) == need);

  // The same text through a short destination, with a byte map.
  const long long shortRoom = need < room ? need : room;
  if (shortRoom > 0) {
    std::vector<unsigned short> part(static_cast<size_t>(shortRoom));
    std::vector<int> map(static_cast<size_t>(size), -1);
    const long long written = utf82w(bytes, size, part.data(), shortRoom, map.data());
    check(written <= shortRoom);
    int last = 0;
    for (int entry : map) {
      if (entry < 0) break;
      check(entry >= last && entry <= written);
      last = entry;
    }
    check(last == written);
  }

  // Whatever the bytes decoded to comes back unchanged through UTF-8.
  _typebuf<char> narrow;
  _w2pc(wide.data(), need, narrow);
  _typebuf<unsigned short> again;
  _pc2w(narrow, again);
  check(again.count == need);
  for (long long i = 0; i < need; ++i) check(again.ptr[i] == wide[static_cast<size_t>(i)]);

  // Terminated at the first zero: the size counts the terminator.
  const std::string terminated(bytes, static_cast<size_t>(size));
  const long long needTerminated = __a2w_require(terminated.c_str(), -1, 65001);
  std::vector<unsigned short> wideTerminated(static_cast<size_t>(needTerminated));
  check(__a2w(terminated.c_str(), -1, wideTerminated.data(), needTerminated, 65001) == needTerminated - 1);
  check(wideTerminated.back() == 0);
}

void unitsToBytes(const unsigned short* units, long long count, unsigned room) {
  const long long need = __w2a_require(units, count, 65001);
  std::vector<char> bytes(static_cast<size_t>(need));
  check(__w2a(units, count, bytes.data(), need, 65001) == need);

  const long long shortRoom = need < room ? need : room;
  if (shortRoom > 0) {
    std::vector<char> part(static_cast<size_t>(shortRoom));
    std::vector<int> map(static_cast<size_t>(count), -1);
    const long long written = w2utf8(units, count, part.data(), shortRoom, map.data());
    check(written == shortRoom);
    int last = 0;
    for (int entry : map) {
      if (entry < 0) break;
      check(entry >= last && entry <= written);
      last = entry;
    }
  }

  std::vector<unsigned short> back(static_cast<size_t>(count));
  check(__a2w(bytes.data(), need, back.data(), count, 65001) == count);
  for (long long i = 0; i < count; ++i) check(back[static_cast<size_t>(i)] == units[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned room = data[0];
  ++data;
  --size;
  bytesToUnits(reinterpret_cast<const char*>(data), static_cast<long long>(size), room);

  std::vector<unsigned short> units(size / 2);
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<unsigned short>(data[2 * i] | data[2 * i + 1] << 8);
  unitsToBytes(units.data(), static_cast<long long>(units.size()), room);
  return 0;
}
