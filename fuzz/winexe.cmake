zvk_fuzz(winexe zvk_propreader)
