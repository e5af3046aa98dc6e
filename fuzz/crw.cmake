zvk_fuzz(crw zvk_picts)
