zvk_fuzz(bmp zvk_picts)
