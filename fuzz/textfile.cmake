zvk_fuzz(textfile zvk_base)
