zvk_fuzz(hive zvk_ciom)
