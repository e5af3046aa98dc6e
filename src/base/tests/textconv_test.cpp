#include "base/textconv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Units = std::vector<unsigned short>;
using Bytes = std::string;

constexpr unsigned short kUnitFill = 0xBEEF;
constexpr char kByteFill = '#';

// Converts an exact range into a destination of `room` units, and answers
// the units written followed by whatever the converter left past them.
template <typename Out, typename In, typename Convert>
Out converted(const In& in, long long room, long long* answer, typename Out::value_type fill,
              Convert convert) {
  Out out(static_cast<size_t>(room) + 1, fill);
  long long n = convert(in.data(), static_cast<long long>(in.size()), out.data(), room, 65001);
  if (answer) *answer = n;
  out.resize(static_cast<size_t>(n) + 1);
  return out;
}

Units decode(const Bytes& bytes, long long room = 64, long long* answer = nullptr) {
  return converted<Units>(bytes, room, answer, kUnitFill, [](auto... args) { return __a2w(args...); });
}

Bytes encode(const Units& units, long long room = 64, long long* answer = nullptr) {
  return converted<Bytes>(units, room, answer, kByteFill, [](auto... args) { return __w2a(args...); });
}

TEST(TextEncodings, EveryKnownPageBelongsToExactlyOneClassAndUtf8ToNone) {
  for (int i = 0; i < ___text_encodings_count; ++i) {
    int cp = ___text_encodings[i].cp;
    EXPECT_EQ(isSimpleCP(cp) + isJIS(cp) + isISO2022(cp), cp == 65001 ? 0 : 1) << cp;
  }
  EXPECT_FALSE(isSimpleCP(1253));
}

// Malformed bytes become units of their own value; a sequence cut by the end
// of an exact range ends the text before it.
TEST(Utf8Decoder, MalformedAndCutSequences) {
  const std::pair<Bytes, Units> cases[] = {
      {"\x41\xC3\xA9", {0x41, 0xE9}},
      {Bytes("a\0b", 3), {'a', 0, 'b'}},  // a zero inside an exact range is a character
      {"\xC3\x41", {0xC3, 0x41}},
      {"\x80", {0x80}},
      {"\xE2\x82\x41", {0xE2, 0x82, 0x41}},
      {"\xF8\xFF", {0xF8, 0xFF}},
      // Overlong and surrogate forms of two and three bytes are kept as read.
      {Bytes("\xC0\x80", 2), {0}},
      {"\xED\xA0\x80", {0xD800}},
      // Overlong, out of range or broken four-byte forms stay byte by byte.
      {"\xF0\x80\x80\x80", {0xF0, 0x80, 0x80, 0x80}},
      {"\xF4\x90\x80\x80", {0xF4, 0x90, 0x80, 0x80}},
      {"\xF0\x9F\x41", {0xF0, 0x9F, 0x41}},
      {"ab\xC3", {'a', 'b'}},
      {"ab\xF0\x9F\x98", {'a', 'b'}},
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
      {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
  };
  for (const auto& [bytes, units] : cases) {
    Units expected = units;
    expected.push_back(kUnitFill);
    EXPECT_EQ(decode(bytes), expected) << bytes;
  }
  EXPECT_EQ(__a2w_require("ab\xE2\x82", 4, 65001), 2);
  EXPECT_EQ(__a2w_require("\xF0\x9F\x98\x80", -1, 65001), 3);
  // A surrogate pair is never split by a full destination.
  EXPECT_EQ(decode("a\xF0\x9F\x98\x80", 2), (Units{'a', kUnitFill}));
  // Before a terminator the same bytes are malformed, not cut.
  unsigned short out[8];
  EXPECT_EQ(__a2w("\xF0\x9F\x98", -1, out, 8, 65001), 3);
  EXPECT_EQ(Units(out, out + 4), (Units{0xF0, 0x9F, 0x98, 0}));
  // A null destination asks for the size; a full one ends without a terminator.
  EXPECT_EQ(__a2w("\x41\xC3\xA9", -1, nullptr, 0, 65001), 3);
  out[2] = kUnitFill;
  EXPECT_EQ(__a2w("ab", -1, out, 2, 65001), 2);
  EXPECT_EQ(out[2], kUnitFill);
}

TEST(Utf8Codec, WordAtATimeCopiesStopAtTheRightLaneAndRoom) {
  for (size_t before = 0; before <= 17; ++before) {
    Units units(before, 'a');
    units.push_back(0xE9);
    units.insert(units.end(), 17 - before, 'b');
    const Bytes bytes = Bytes(before, 'a') + "\xC3\xA9" + Bytes(17 - before, 'b');
    EXPECT_EQ(encode(units), bytes + kByteFill) << before;
    // Every destination gets the leading part and nothing past it.
    for (long long room = 1; room <= static_cast<long long>(units.size()); ++room) {
      Units part(units.begin(), units.begin() + room);
      part.push_back(kUnitFill);
      ASSERT_EQ(decode(bytes, room), part) << before << " " << room;
    }
  }
}

TEST(Utf8Encoder, UnitsToBytesAndCutsInsideASequenceWhenFull) {
  // A surrogate cut from its partner by the range stands alone.
  EXPECT_EQ(encode({'a', 0xD83D}), "a\xED\xA0\xBD#");
  const unsigned short text[] = {'a', 0x20AC, 0xD83D, 0xDE00, 0};
  EXPECT_EQ(__w2a_require(text, -1, 65001), 1 + 3 + 4 + 1);
  char out[16];
  std::memset(out, kByteFill, sizeof out);
  EXPECT_EQ(__w2a(text, -1, out, 16, 65001), 8);
  EXPECT_EQ(Bytes(out, 10), Bytes("a\xE2\x82\xAC\xF0\x9F\x98\x80\0#", 10));

  long long n;
  EXPECT_EQ(encode({0x20AC}, 2, &n), "\xE2\x82#");
  EXPECT_EQ(encode({'a', 0xD83D, 0xDE00}, 3, &n), "a\xF0\x9F#");
  EXPECT_EQ(n, 3);
}

TEST(Utf8PositionMaps, EachMapCountsOnlyWhatWasWhollyConverted) {
  const Bytes bytes = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  unsigned short wide[16];
  std::vector<int> byteMap(bytes.size(), -7);
  EXPECT_EQ(utf82w(bytes.data(), static_cast<long long>(bytes.size()), wide, 16, byteMap.data()), 6);
  EXPECT_EQ(byteMap, (std::vector<int>{1, 1, 2, 2, 2, 3, 3, 3, 3, 5, 6}));
  // With a map, a malformed sequence ends the conversion; stray bytes do not.
  std::fill(byteMap.begin(), byteMap.end(), -7);
  EXPECT_EQ(utf82w("\x80\x62\xC3\x41", 4, wide, 16, byteMap.data()), 2);
  EXPECT_EQ((std::vector<int>(byteMap.begin(), byteMap.begin() + 3)), (std::vector<int>{1, 2, -7}));
  EXPECT_EQ(utf82w("\xC3\x41", 2, wide, 16, nullptr), 2);

  const Units units = {'a', 0xE9, 0x20AC, 0xD83D, 0xDE00, 0xDC00, 'z'};
  char narrow[32];
  std::vector<int> unitMap(units.size(), -7);
  EXPECT_EQ(w2utf8(units.data(), 7, narrow, 32, unitMap.data()), 1 + 2 + 3 + 4 + 3 + 1);
  EXPECT_EQ(unitMap, (std::vector<int>{1, 3, 6, 6, 10, 13, 14}));
  // A unit cut short by the destination gets no entry.
  std::fill(unitMap.begin(), unitMap.end(), -7);
  EXPECT_EQ(w2utf8(units.data(), 7, narrow, 5, unitMap.data()), 5);
  EXPECT_EQ(unitMap, (std::vector<int>{1, 3, -7, -7, -7, -7, -7}));
}

TEST(TextConvOwned, StringsAndBuffersHoldExactlyTheText) {
  _guardchar<unsigned short> wide;
  // The same trailing byte reads the same as through the core converter.
  _pc2w("ab\xC3", -1, wide);
  EXPECT_EQ(Units(wide.ptr, wide.ptr + 4), (Units{'a', 'b', 0xC3, 0}));

  _guardchar<char> narrow;
  _enc2pc("x\xC3", -1, narrow, 0);  // a lone lead byte comes back as its own character
  EXPECT_STREQ(narrow.ptr, "x\xC3\x83");
  // A source inside the destination's own string is read before it is freed.
  _a2pc("abcdef", 3, narrow);
  _pc2a(narrow.ptr + 1, -1, narrow);
  EXPECT_STREQ(narrow.ptr, "bc");

  _typebuf<char> copy;
  EXPECT_EQ(_a2pc("xyz", -1, copy), 3);
  EXPECT_EQ(_a2pc(copy.ptr + 1, 2, copy), 2);
  EXPECT_EQ(Bytes(copy.ptr, 2), "yz");
}

TEST(TextConvRaw, CallerSizedBuffers) {
  char out[16];
  std::memset(out, kByteFill, sizeof out);
  EXPECT_EQ(_a2pc("abc", -1, out, 3), 2);
  EXPECT_EQ(Bytes(out, 4), Bytes("ab\0#", 4));
  // A null source still gets a terminator; a null destination gets nothing.
  unsigned short wide[8] = {kUnitFill, kUnitFill};
  EXPECT_EQ(_pc2w(nullptr, -1, wide, 8), 0);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(_pc2w("ab", -1, nullptr, 8), 0);

  // Sized by the answer alone, the terminator has no room.
  std::memset(out, kByteFill, sizeof out);
  EXPECT_EQ(_enc2pc("abc", -1, out, 3, 0), 3);
  EXPECT_EQ(out[3], kByteFill);
  // An exact range stops at a zero inside it too.
  EXPECT_EQ(_pc2enc(Bytes("ab\0cd", 5).data(), 5, out, 16, 65001), 2);
  EXPECT_EQ(_pc2enc_require("abc", -1, 1253), 0);
}

}  // namespace
