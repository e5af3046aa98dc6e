find_package(JPEG REQUIRED)
zvk_bench(jpeg_bench zvk_picts JPEG::JPEG)
