zvk_fuzz(edit_ops zvk_ciom)
