zvk_fuzz(utf zvk_base)
