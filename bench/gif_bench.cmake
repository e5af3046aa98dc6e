find_package(GIF REQUIRED)
zvk_bench(gif_bench zvk_picts GIF::GIF)
