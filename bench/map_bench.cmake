zvk_bench(map_bench zvk_base)
