find_package(PkgConfig REQUIRED)
pkg_check_modules(MAGICKCORE REQUIRED IMPORTED_TARGET MagickCore)
zvk_bench(bmp_bench zvk_picts PkgConfig::MAGICKCORE)
