find_package(PNG REQUIRED)
zvk_bench(png_bench zvk_picts PNG::PNG)
