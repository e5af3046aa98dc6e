zvk_fuzz(mrw zvk_picts)
