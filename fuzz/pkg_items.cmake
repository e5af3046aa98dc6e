zvk_fuzz(pkg_items zvk_tamsivar)
