find_package(PkgConfig REQUIRED)
pkg_check_modules(OPENJPEG REQUIRED IMPORTED_TARGET libopenjp2)
zvk_bench(j2k_bench zvk_picts PkgConfig::OPENJPEG)
