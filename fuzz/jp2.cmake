zvk_fuzz(jp2 zvk_picts)
