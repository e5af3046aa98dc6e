zvk_fuzz(gif zvk_picts)
