zvk_bench(install_bench zvk_tamsivarapp)
# The package is made by the program's own maker.
target_compile_definitions(install_bench PRIVATE ZVK_BUNDLE="${PROJECT_BINARY_DIR}/ZVK.app")
add_dependencies(install_bench zvk)
