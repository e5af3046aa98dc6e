zvk_fuzz(ppm zvk_picts)
