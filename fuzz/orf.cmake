zvk_fuzz(orf zvk_picts)
