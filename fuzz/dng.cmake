zvk_fuzz(dng zvk_picts)
