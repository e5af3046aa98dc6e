find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
zvk_bench(dng_bench zvk_picts JPEG::JPEG PNG::PNG)
