// Decodes 100 MB of Cyrillic (1251) and of Japanese (932) text with the code
// pages and with the C library's iconv, timing each on the same input.
#include <iconv.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/textconv.h"

namespace {

constexpr size_t kTextBytes = 100u << 20;

// Words of Cyrillic letters with the spaces, punctuation and line ends of
// running text.
std::string cyrillicText(std::mt19937& random) {
  std::string text;
  text.reserve(kTextBytes);
  const char punctuation[] = ".,;:!?-";
  while (text.size() < kTextBytes) {
    int word = 1 + random() % 10;
    for (int i = 0; i < word; ++i) text.push_back(static_cast<char>(0xC0 + random() % 64));
    unsigned r = random() % 16;
    if (r == 0) text.push_back(punctuation[random() % 7]);
    text.push_back(r == 1 ? '\n' : ' ');
  }
  text.resize(kTextBytes);
  return text;
}

// Mostly kana and kanji, with ASCII and half-width Katakana between them.
std::string japaneseText(std::mt19937& random, iconv_t check) {
  std::vector<std::string> pairs;
  for (int lead : {0x82, 0x83, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93, 0x94})
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      unsigned short unit;
      char *ip = in, *op = reinterpret_cast<char*>(&unit);
      size_t il = 2, ol = 2;
      iconv(check, nullptr, nullptr, nullptr, nullptr);
      if (iconv(check, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && !il) pairs.emplace_back(in, 2);
    }
  std::string text;
  text.reserve(kTextBytes + 2);
  while (text.size() < kTextBytes) {
    unsigned r = random() % 10;
    if (r < 7)
      text += pairs[random() % pairs.size()];
    else if (r < 9)
      text.push_back(static_cast<char>(0x20 + random() % 95));
    else
      text.push_back(static_cast<char>(0xA1 + random() % 63));
  }
  if (text.size() > kTextBytes) text.resize(kTextBytes - 1);  // never cut a pair
  return text;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The best of three runs of each, into the same destination, which is touched
// first so that neither pays for faulting its pages in.
struct sTimes {
  double ours = 1e9, peer = 1e9;
};

sTimes race(const std::string& text, int cp, const char* peerName) {
  std::vector<unsigned short> ours(text.size()), peer(text.size());
  iconv_t cd = iconv_open("UTF-16LE", peerName);
  sTimes best;
  long long units = 0;
  size_t peerUnits = 0;
  for (int round = 0; round < 3; ++round) {
    auto start = std::chrono::steady_clock::now();
    units = __a2w(text.data(), text.size(), ours.data(), ours.size(), cp);
    best.ours = std::min(best.ours, seconds(start));

    start = std::chrono::steady_clock::now();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* ip = const_cast<char*>(text.data());
    char* op = reinterpret_cast<char*>(peer.data());
    size_t il = text.size(), ol = peer.size() * 2;
    iconv(cd, &ip, &il, &op, &ol);
    best.peer = std::min(best.peer, seconds(start));
    peerUnits = peer.size() - ol / 2;
  }
  iconv_close(cd);
  bool same =
      units == static_cast<long long>(peerUnits) && !std::memcmp(ours.data(), peer.data(), peerUnits * 2);
  double mb = text.size() / 1e6;
  std::printf("cp%d codepage MB/s: %.0f\n", cp, mb / best.ours);
  std::printf("cp%d iconv MB/s: %.0f\n", cp, mb / best.peer);
  std::printf("cp%d same units as iconv: %s\n", cp, same ? "yes" : "no");
  return best;
}

}  // namespace

int main() {
  std::mt19937 random(1251);
  iconv_t check = iconv_open("UTF-16LE", "CP932");
  sTimes cyrillic = race(cyrillicText(random), 1251, "CP1251");
  sTimes japanese = race(japaneseText(random, check), 932, "CP932");
  iconv_close(check);
  std::printf("ratio codepage/iconv time: %.3f\n",
              (cyrillic.ours + japanese.ours) / (cyrillic.peer + japanese.peer));
  return 0;
}
