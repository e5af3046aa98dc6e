zvk_bench(http_bench zvk_nethttp Threads::Threads)
