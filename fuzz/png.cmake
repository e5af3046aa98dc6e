zvk_fuzz(png zvk_picts)
