zvk_fuzz(tiff_fax zvk_picts)
