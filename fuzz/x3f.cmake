zvk_fuzz(x3f zvk_picts)
