zvk_fuzz(lzw zvk_compression)
