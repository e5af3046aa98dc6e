zvk_fuzz(md8bim zvk_picts)
