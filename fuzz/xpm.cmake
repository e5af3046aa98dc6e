zvk_fuzz(xpm zvk_picts)
