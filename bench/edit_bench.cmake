zvk_bench(edit_bench zvk_ciplatform)
