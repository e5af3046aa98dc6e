find_package(TIFF REQUIRED)
zvk_bench(tiff_bench zvk_picts TIFF::TIFF)
