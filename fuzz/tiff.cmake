zvk_fuzz(tiff zvk_picts)
