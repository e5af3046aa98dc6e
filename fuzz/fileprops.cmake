zvk_fuzz(fileprops zvk_propreader)
