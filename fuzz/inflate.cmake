zvk_fuzz(inflate zvk_compression)
