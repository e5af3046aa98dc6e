find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
zvk_bench(nef_bench zvk_picts JPEG::JPEG PNG::PNG)
