zvk_fuzz(hdl zvk_cihlpdoc)
# Fonts come from the toolkit tests' fixed-metric platform, so no display is needed.
target_sources(fuzz_hdl PRIVATE workfolder.cpp ${PROJECT_SOURCE_DIR}/src/ciom/tests/support/fixedcanvas.cpp
               ${PROJECT_SOURCE_DIR}/src/cihlpdoc/tests/support/testfaces.cpp)
target_include_directories(fuzz_hdl PRIVATE ${PROJECT_SOURCE_DIR}/src/ciom/tests)
