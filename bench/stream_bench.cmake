zvk_bench(stream_bench zvk_base)
