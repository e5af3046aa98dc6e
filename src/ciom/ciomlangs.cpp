#include "ciom/ciomlangs.h"

#include "ciom/ciomlang_blocks.h"

const cLibLang::sLangDef cCIOMLang::gLangs[kLangCount] = {
    {eLangENG, gCiomLangBlock_eng, gCiomLangBlockSize_eng},
    {eLangRUS, gCiomLangBlock_rus, gCiomLangBlockSize_rus},
    {eLangUKR, gCiomLangBlock_ukr, gCiomLangBlockSize_ukr},
    {eLangDEU, gCiomLangBlock_deu, gCiomLangBlockSize_deu},
    {eLangFRA, gCiomLangBlock_fra, gCiomLangBlockSize_fra},
    {eLangJPN, gCiomLangBlock_jpn, gCiomLangBlockSize_jpn},
    {eLangKOR, gCiomLangBlock_kor, gCiomLangBlockSize_kor},
    {eLangCHN, gCiomLangBlock_chi, gCiomLangBlockSize_chi},
    {eLangTWN, gCiomLangBlock_twn, gCiomLangBlockSize_twn},
};
