zvk_fuzz(mos zvk_picts)
