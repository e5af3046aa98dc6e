// Text conversion between the platform character set (pc: UTF-8 in char
// strings), UTF-16 (w: unsigned short strings) and the code pages (a).
//
// One contract holds for every converter:
// - a source length of -1 (any negative value) means "up to the terminating
//   zero"; any other value is the exact number of source units, and a zero
//   inside that range is converted like any other character;
// - the destination size is the number of units the destination takes, and
//   nothing is ever written beyond it;
// - the answer is the number of units written, a terminator not counted; a
//   terminator is written only for a terminated source when room is left;
// - the _require operations answer the size a whole conversion needs, one
//   more for the terminator of a terminated source.
// Code page 0 means UTF-8 (65001) wherever a converter takes a code page.
//
// Malformed UTF-8 is never an error: a byte that starts no valid sequence
// becomes the UTF-16 unit of its own value, so any byte string converts and
// nothing is lost. Characters above U+FFFF travel as surrogate pairs; a
// surrogate without its partner is carried alone as a three-byte form, so
// such text still round-trips.
#pragma once

#include "base/buffers.h"

struct sTextEncoding {
  int cp;
  const char* name;
};

// The known encodings in the order they are offered to the user.
extern const sTextEncoding ___text_encodings[];
extern const int ___text_encodings_count;

// The registry name of the code page, or "Unknown".
const char* __text_encoding_name(int cp);
bool isSimpleCP(int cp);  // 0 and the single-byte pages
bool isJIS(int cp);       // the double-byte pages 932, 936, 949, 950
bool isISO2022(int cp);   // the stateful and EUC pages
int __sysDefaultCP();

// The core converters. A null destination makes them answer the _require
// size instead. Pages that are not converted answer 0.
long long __a2w(const char* src, long long srcLen, unsigned short* dst, long long dstLen, int cp);
long long __a2w_require(const char* src, long long srcLen, int cp);
long long __w2a(const unsigned short* src, long long srcLen, char* dst, long long dstLen, int cp);
long long __w2a_require(const unsigned short* src, long long srcLen, int cp);

// The UTF-8 codec with position maps; a null map gives the plain codec.
//
// byteMap gets one entry per source byte consumed: the number of units
// written once that byte has been read, so the bytes leading a sequence hold
// the count before its character and the last byte the count after it (one
// more, two for a surrogate pair). With a map, a lead byte whose sequence is
// malformed ends the conversion instead of yielding a unit of its own value.
//
// unitMap gets one entry per source unit converted: the number of bytes
// written up to and including that unit. A surrogate pair is written as one
// character, so its first unit holds the count before it and its second the
// count after its four bytes. A unit cut short by the destination gets none.
long long utf82w(const char* src, long long srcLen, unsigned short* dst, long long dstLen, int* byteMap);
long long w2utf8(const unsigned short* src, long long srcLen, char* dst, long long dstLen, int* unitMap);

// Owned-string forms: the string is replaced by the whole converted text,
// terminated; a null source or an unconverted page gives an empty string.
// Each answers 0.
long long __a2w(const char* src, long long srcLen, _guardchar<unsigned short>& dst, int cp);
long long __w2a(const unsigned short* src, long long srcLen, _guardchar<char>& dst, int cp);
long long _pc2w(const char* src, long long srcLen, _guardchar<unsigned short>& dst);
long long _w2pc(const unsigned short* src, long long srcLen, _guardchar<char>& dst);
long long _a2pc(const char* src, long long srcLen, _guardchar<char>& dst);
long long _pc2a(const char* src, long long srcLen, _guardchar<char>& dst);
long long _enc2pc(const char* src, long long srcLen, _guardchar<char>& dst, int cp);

// Buffer forms: the destination holds exactly the converted text, no
// terminator, and no storage at all when the text is empty. The pointer
// forms leave the destination untouched for a null source.
long long _a2pc(const _typebuf<char>& src, _typebuf<char>& dst);
long long _pc2a(const _typebuf<char>& src, _typebuf<char>& dst);
long long _w2pc(const _typebuf<unsigned short>& src, _typebuf<char>& dst);
long long _pc2w(const _typebuf<char>& src, _typebuf<unsigned short>& dst);
long long _a2pc(const char* src, long long srcLen, _typebuf<char>& dst);
long long _pc2a(const char* src, long long srcLen, _typebuf<char>& dst);
long long _w2pc(const unsigned short* src, long long srcLen, _typebuf<char>& dst);
long long _pc2w(const char* src, long long srcLen, _typebuf<unsigned short>& dst);

// Raw-buffer forms for callers that size with _require and bring the buffer.
// _w2pc and _pc2w write a lone terminator for a null source.
long long _w2pc_require(const unsigned short* src, long long srcLen);
long long _pc2w_require(const char* src, long long srcLen);
long long _w2pc(const unsigned short* src, long long srcLen, char* dst, long long dstLen);
long long _pc2w(const char* src, long long srcLen, unsigned short* dst, long long dstLen);

// Plain byte copies (the active code page is UTF-8). The _require size has
// no room for the terminator that the copy always writes: a destination of
// exactly that size loses the last byte.
long long _a2pc_require(const char* src, long long srcLen);
long long _pc2a_require(const char* src, long long srcLen);
long long _a2pc(const char* src, long long srcLen, char* dst, long long dstLen);
long long _pc2a(const char* src, long long srcLen, char* dst, long long dstLen);

// UTF-8 to a code page and back, through one temporary UTF-16 buffer. For
// UTF-8 itself they copy bytes up to and including a zero byte, counting
// the zero out; their _require size then has no room for it.
long long _pc2enc_require(const char* src, long long srcLen, int cp);
long long _pc2enc(const char* src, long long srcLen, char* dst, long long dstLen, int cp);
long long _enc2pc_require(const char* src, long long srcLen, int cp);
long long _enc2pc(const char* src, long long srcLen, char* dst, long long dstLen, int cp);
