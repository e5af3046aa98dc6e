zvk_fuzz(langblock zvk_ciom)
