// The encodings the system can name, and the classes of code pages that pick
// a converter.
#include <algorithm>
#include <iterator>

#include "base/textconv.h"

const sTextEncoding ___text_encodings[] = {
    {65001, "UTF-8 Unicode"},
    {1250, "ANSI - Central European / CP-1250"},
    {1251, "ANSI - Cyrillic / CP-1251"},
    {1252, "ANSI - Latin I / CP-1252"},
    {1254, "ANSI - Turkish / CP-1254"},
    {1255, "ANSI - Hebrew / CP-1255"},
    {850, "OEM - Multilingual Latin I / cp850"},
    {858, "OEM - Multilingual Latin I / cp858"},
    {852, "OEM - Latin II / cp852"},
    {866, "OEM - Russian / cp866"},
    {855, "OEM - Cyrillic / cp855"},
    {437, "OEM - United States"},
    {862, "OEM - Hebrew / cp862"},
    {737, "OEM - Greek / 437G"},
    {857, "OEM - Turkish / cp857"},
    {20866, "Russian - KOI8-R"},
    {21866, "Ukrainian - KOI8-U"},
    {28591, "ISO 8859-1 Latin I"},
    {28592, "ISO 8859-2 Central Europe"},
    {28593, "ISO 8859-3 Latin 3"},
    {28595, "ISO 8859-5 Cyrillic"},
    {28596, "ISO 8859-6 Arabic"},
    {28597, "ISO 8859-7 Greek"},
    {28598, "ISO 8859-8 Hebrew"},
    {28599, "ISO 8859-9 Latin 5"},
    {28605, "ISO 8859-15 Latin 9"},
    {10007, "MAC - Cyrillic"},
    {10029, "MAC - Latin II"},
    {37, "IBM EBCDIC - U.S./Canada (037)"},
    {500, "IBM EBCDIC - International (500)"},
    {870, "Multilingual/ROECE (Latin-2) (870)"},
    // The trailing blanks are part of these names as they were always shown.
    {932, "ANSI/OEM - Japanese, Shift-JIS "},
    {936, "ANSI/OEM - Simplified Chinese (PRC, Singapore) "},
    {949, "ANSI/OEM - Korean (Unified Hangeul Code) "},
    {950, "ANSI/OEM - Traditional Chinese (Taiwan; Hong Kong SAR, PRC)  "},
    {50221, "ISO 2022 - Japanese"},
    {50227, "ISO 2022 - Chinese"},
    {51932, "EUC - Japanese"},
    {51936, "EUC - Chinese"},
};
const int ___text_encodings_count = static_cast<int>(std::size(___text_encodings));

namespace {

// 1253 and 28594 have no tables, so they are not converted.
constexpr int kSingleBytePages[] = {37,    437,   500,   737,   850,   852,   855,   857,   858,   862,
                                    866,   870,   1250,  1251,  1252,  1254,  1255,  10007, 10029, 20866,
                                    21866, 28591, 28592, 28593, 28595, 28596, 28597, 28598, 28599, 28605};

}  // namespace

const char* __text_encoding_name(int cp) {
  for (const sTextEncoding& e : ___text_encodings)
    if (e.cp == cp) return e.name;
  return "Unknown";
}

bool isSimpleCP(int cp) {
  return cp == 0 || std::find(std::begin(kSingleBytePages), std::end(kSingleBytePages), cp) !=
                        std::end(kSingleBytePages);
}

bool isJIS(int cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950; }

bool isISO2022(int cp) { return cp == 50221 || cp == 50227 || cp == 51932 || cp == 51936; }

int __sysDefaultCP() { return 65001; }
