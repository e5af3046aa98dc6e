zvk_fuzz(arw zvk_picts)
