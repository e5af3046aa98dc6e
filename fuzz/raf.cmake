zvk_fuzz(raf zvk_picts)
