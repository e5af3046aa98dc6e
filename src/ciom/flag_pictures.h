// The flags of the ten interface languages, by language number (English,
// Russian, German, Japanese, Korean, French, Ukrainian, Spanish, simplified
// and traditional Chinese), at the three sizes that language lists show.
// Made by tools/gen_theme_pictures.py; the arrays are filled at start-up and
// keep their rows bottom-up, as resources do, so a picture list stores them
// with the flip request.
#pragma once

constexpr int kLangFlagCount = 10;

extern unsigned int* const gLangFlags16x11[kLangFlagCount];
extern unsigned int* const gLangFlags18x14[kLangFlagCount];
extern unsigned int* const gLangFlags27x22[kLangFlagCount];

extern unsigned int icColorDataLangENG[16 * 11], icColorDataLangENG_18[18 * 14],
    icColorDataLangENG_27[27 * 22];
extern unsigned int icColorDataLangRUS[16 * 11], icColorDataLangRUS_18[18 * 14],
    icColorDataLangRUS_27[27 * 22];
extern unsigned int icColorDataLangDEU[16 * 11], icColorDataLangDEU_18[18 * 14],
    icColorDataLangDEU_27[27 * 22];
extern unsigned int icColorDataLangJPN[16 * 11], icColorDataLangJPN_18[18 * 14],
    icColorDataLangJPN_27[27 * 22];
extern unsigned int icColorDataLangKOR[16 * 11], icColorDataLangKOR_18[18 * 14],
    icColorDataLangKOR_27[27 * 22];
extern unsigned int icColorDataLangFRA[16 * 11], icColorDataLangFRA_18[18 * 14],
    icColorDataLangFRA_27[27 * 22];
extern unsigned int icColorDataLangUKR[16 * 11], icColorDataLangUKR_18[18 * 14],
    icColorDataLangUKR_27[27 * 22];
extern unsigned int icColorDataLangESP[16 * 11], icColorDataLangESP_18[18 * 14],
    icColorDataLangESP_27[27 * 22];
extern unsigned int icColorDataLangCHN[16 * 11], icColorDataLangCHN_18[18 * 14],
    icColorDataLangCHN_27[27 * 22];
extern unsigned int icColorDataLangTWN[16 * 11], icColorDataLangTWN_18[18 * 14],
    icColorDataLangTWN_27[27 * 22];
