zvk_fuzz(rwl zvk_picts)
