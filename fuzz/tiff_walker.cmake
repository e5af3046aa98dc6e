zvk_fuzz(tiff_walker zvk_picts)
