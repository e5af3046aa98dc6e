zvk_fuzz(raw_ljpeg zvk_picts)
