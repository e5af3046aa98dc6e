zvk_bench(codepage_bench zvk_base)
