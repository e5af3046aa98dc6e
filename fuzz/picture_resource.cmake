zvk_fuzz(picture_resource zvk_ciom)
