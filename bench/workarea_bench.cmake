zvk_bench(workarea_bench zvk_nslib)
