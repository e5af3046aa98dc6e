zvk_fuzz(jpeg zvk_picts)
