zvk_bench(utf_bench zvk_base)
