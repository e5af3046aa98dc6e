zvk_bench(package_bench zvk_tamsivar)
# The scenario's documents would make fonts through the platform; no
# document is packed here, but the loader is linked all the same.
target_sources(package_bench PRIVATE ${PROJECT_SOURCE_DIR}/src/ciom/tests/support/fixedcanvas.cpp
               ${PROJECT_SOURCE_DIR}/src/cihlpdoc/tests/support/testfaces.cpp)
target_include_directories(package_bench PRIVATE ${PROJECT_SOURCE_DIR}/src/ciom/tests)
