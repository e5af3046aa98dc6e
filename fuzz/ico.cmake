zvk_fuzz(ico zvk_picts)
