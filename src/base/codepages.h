// The code pages behind the text converters: single-byte pages both ways,
// the double-byte pages 932, 936, 949 and 950, and the stateful and EUC pages
// 50221 (ISO-2022-JP), 50227 (ISO-2022-CN), 51932 (EUC-JP) and 51936 (EUC-CN),
// which are only read.
//
// The string converters keep the contract of base/textconv.h: a source length
// of -1 means up to the terminating zero; nothing is written beyond dstLen or
// read beyond the source range; the answer is the number of units written, a
// terminator not counted. A zero byte ends every decoding, also inside an
// exact length, and is written as a zero unit when room is left. The _require
// operations count what the decoder writes, one more for a terminated source.
#pragma once

// The 256 units of a single-byte page; ISO 8859-1 for any other number.
const unsigned short* intrnl_ACP_symtab(int cp);

// One byte of a single-byte page, and back: 0 when the unit has no byte.
unsigned short __a2w(char c, int cp);
char __w2a(unsigned short u, int cp);

long long intrnl_ACP_a2w(unsigned short* dst, long long dstLen, const char* src, long long srcLen, int cp);
// Units without a byte in the page become "?".
long long intrnl_ACP_w2a(const unsigned short* src, long long srcLen, char* dst, long long dstLen, int cp);

// The double-byte pages. What the page cannot map becomes "?" and the
// decoding goes on. Other pages answer 0.
long long intrnl_JIS_a2w(unsigned short* dst, long long dstLen, const char* src, long long srcLen, int cp);
long long intrnl_JIS_a2w_require(const char* src, long long srcLen, int cp);

// The stateful and EUC pages. Each call starts in ASCII with no set
// designated; input that does not decode ends the decoding where it stands.
// Other pages answer 0.
long long intrnl_2022_a2w(unsigned short* dst, long long dstLen, const char* src, long long srcLen, int cp);
long long intrnl_2022_a2w_require(const char* src, long long srcLen, int cp);

// The character sets of the stateful pages. Each decodes one character from
// the `avail` bytes at `s` into `*u` and answers whether there was one. The
// two-byte sets take bytes 0x21 to 0x7E; JIS X 0201 takes one byte, below
// 0x80 for its Roman half and 0xA1 to 0xDF for its Katakana half.
bool jisx0201_mbtowc(unsigned short* u, const unsigned char* s, long long avail);
bool jisx0208_mbtowc(unsigned short* u, const unsigned char* s, long long avail);
bool jisx0212_mbtowc(unsigned short* u, const unsigned char* s, long long avail);
bool gb2312_mbtowc(unsigned short* u, const unsigned char* s, long long avail);
bool cns11643_1_mbtowc(unsigned short* u, const unsigned char* s, long long avail);
bool cns11643_2_mbtowc(unsigned short* u, const unsigned char* s, long long avail);
