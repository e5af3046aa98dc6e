zvk_bench(targetcheck_bench zvk_tamsivarapp)
# The package is made by the program's own maker.
target_compile_definitions(targetcheck_bench PRIVATE ZVK_BUNDLE="${PROJECT_BINARY_DIR}/ZVK.app")
add_dependencies(targetcheck_bench zvk)
