zvk_bench(pef_bench zvk_picts)
