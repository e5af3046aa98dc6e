zvk_fuzz(plist zvk_base)
