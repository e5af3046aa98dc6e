zvk_fuzz(cr2 zvk_picts)
