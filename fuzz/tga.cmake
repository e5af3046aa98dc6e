zvk_fuzz(tga zvk_picts)
