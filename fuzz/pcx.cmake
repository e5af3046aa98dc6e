zvk_fuzz(pcx zvk_picts)
