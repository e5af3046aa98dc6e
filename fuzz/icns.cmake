zvk_fuzz(icns zvk_picts)
