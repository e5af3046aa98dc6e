zvk_fuzz(nef zvk_picts)
