// The text key of the ordered map: UTF-8 bytes packed big-endian into 32-bit
// words, so that keys order as their bytes do (case-sensitively, with no
// folding) while a comparison reads whole words.
#pragma once

#include "base/buffers.h"

class cStringKey {
 public:
  // The text's bytes, four to a word with the first in the most significant
  // place, the last word padded with zero bytes. The empty key has none.
  _typebuf<unsigned int> words;

  cStringKey() = default;
  cStringKey(const cStringKey& other);
  // len -1 measures up to the terminator; a null text is the empty key.
  cStringKey(const char* text, long long len);
  // The same text from UTF-16 gives the same key as from UTF-8.
  cStringKey(const unsigned short* text, long long len);

  cStringKey& operator=(const cStringKey& other);
  // A null or empty text leaves the key as it was.
  cStringKey& operator=(const char* text);
  cStringKey& operator=(const unsigned short* text);

  static int cmp(const _typebuf<unsigned int>& a, const _typebuf<unsigned int>& b);

  bool operator==(const cStringKey& o) const { return cmp(words, o.words) == 0; }
  bool operator!=(const cStringKey& o) const { return cmp(words, o.words) != 0; }
  bool operator<(const cStringKey& o) const { return cmp(words, o.words) < 0; }
  bool operator>(const cStringKey& o) const { return cmp(words, o.words) > 0; }
  bool operator<=(const cStringKey& o) const { return cmp(words, o.words) <= 0; }
  bool operator>=(const cStringKey& o) const { return cmp(words, o.words) >= 0; }

  // The words' bytes in text order: the text and the zeros padding its last
  // word, with no terminator added when the length is a multiple of four.
  void utf8(_typebuf<char>& out) const;

 private:
  void pack(const char* bytes, long long len);
  void wordsToBigEndian();
};
