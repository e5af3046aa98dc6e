zvk_fuzz(zstream zvk_compression)
