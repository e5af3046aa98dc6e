zvk_fuzz(pef zvk_picts)
