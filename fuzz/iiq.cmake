zvk_fuzz(iiq zvk_picts)
