zvk_fuzz(srw zvk_picts)
