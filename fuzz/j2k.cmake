zvk_fuzz(j2k zvk_picts)
