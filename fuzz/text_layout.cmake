zvk_fuzz(text_layout zvk_ciom)
