zvk_fuzz(codepage zvk_base)
