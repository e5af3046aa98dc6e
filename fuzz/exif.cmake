zvk_fuzz(exif zvk_picts)
