// The ten interface languages: their numbers, three-letter codes, own names
// and flags. Languages are always found by number; the code a block carries
// in its header is only a label.
#pragma once

class cPicture;
class cPicturesList;

enum eCIOMStdLangs : unsigned int {
  eLangENG = 0,
  eLangRUS = 1,
  eLangDEU = 2,
  eLangJPN = 3,
  eLangKOR = 4,
  eLangFRA = 5,
  eLangUKR = 6,
  eLangESP = 7,
  eLangCHN = 8,
  eLangTWN = 9,
  // No language has been applied yet.
  eLangNone = 10,
};

inline constexpr int kCIOMStdLangCount = 10;

bool ciLangValid(int n);
// "INV" for a number that is no language.
const char* ciLangID(int n);
// The language's name in itself; null for a number that is no language.
const char* ciLangName(int n);

// The flag of language n at each size, made on first use; null for a number
// that is no language.
cPicture* ciLangImage16x11(int n);
cPicture* ciLangImage18x14(int n);
cPicture* ciLangImage27x22(int n);
cPicturesList* ciLangImages16x11();
cPicturesList* ciLangImages18x14();
cPicturesList* ciLangImages27x22();
