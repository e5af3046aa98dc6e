# The documents a scenario compiles make their fonts through the platform;
# the toolkit tests' fixed-metric font and the document tests' face names
# stand in for it.
zvk_fuzz(scenario_text zvk_tamsivar)
target_sources(fuzz_scenario_text PRIVATE workfolder.cpp ${PROJECT_SOURCE_DIR}/src/ciom/tests/support/fixedcanvas.cpp
               ${PROJECT_SOURCE_DIR}/src/cihlpdoc/tests/support/testfaces.cpp)
target_include_directories(fuzz_scenario_text PRIVATE ${PROJECT_SOURCE_DIR}/src/ciom/tests)
