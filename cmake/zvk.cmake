# Helpers shared by every folder's CMakeLists.txt.

set(ZVK_WARNINGS -Wall -Wextra -Werror)

# Tests that share a lock run one at a time: a chain longer than the rest of
# the run spread over the processors. A fresh build has no timings for CTest
# to order by, so such tests get a cost that starts them first; the chain then
# runs beside the other tests instead of after them.
set(ZVK_LOCKED_TEST_COST 1000)

# zvk_library(<folder> [DEPS targets...]): the static library zvk_<folder>
# from every .cpp directly in src/<folder>/, and its GoogleTest executable
# from src/<folder>/tests/*.cpp (and the helpers in tests/support/) when there
# are any. TEST_LOCK names a resource that the folder's tests never use at the
# same time as any other test holding the same lock.
function(zvk_library folder)
  cmake_parse_arguments(ARG "" "TEST_LOCK" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(zvk_${folder} STATIC ${sources})
  target_include_directories(zvk_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(zvk_${folder} PRIVATE ${ZVK_WARNINGS})
  target_link_libraries(zvk_${folder} PUBLIC ${ARG_DEPS})

  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/tests/support/*.cpp)
  if(tests)
    add_executable(zvk_${folder}_tests ${tests})
    target_compile_options(zvk_${folder}_tests PRIVATE ${ZVK_WARNINGS})
    target_include_directories(zvk_${folder}_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_compile_definitions(zvk_${folder}_tests PRIVATE
      ZVK_SOURCE_DIR="${PROJECT_SOURCE_DIR}" ZVK_BINARY_DIR="${PROJECT_BINARY_DIR}")
    target_link_libraries(zvk_${folder}_tests PRIVATE zvk_${folder} ${ARG_TEST_DEPS}
      GTest::gtest GTest::gtest_main Threads::Threads)
    set(lock)
    if(ARG_TEST_LOCK)
      set(lock RESOURCE_LOCK ${ARG_TEST_LOCK} COST ${ZVK_LOCKED_TEST_COST})
    endif()
    gtest_discover_tests(zvk_${folder}_tests DISCOVERY_TIMEOUT 120
      PROPERTIES LABELS ${folder} ${lock})
  endif()
endfunction()

# zvk_fuzz(<name> LIBS...): fuzz/<name>_fuzz.cpp. With ZVK_FUZZ it is a
# libFuzzer binary; otherwise it links a replay driver, and CTest feeds it the
# seed corpus in fuzz/corpus/<name>/ so every target stays built and honest.
function(zvk_fuzz name)
  set(target fuzz_${name})
  if(ZVK_FUZZ)
    add_executable(${target} ${name}_fuzz.cpp)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${target} ${name}_fuzz.cpp replay_main.cpp)
    # A relative corpus path, as a developer would give one: the harness
    # must not pull the working folder from under its driver.
    add_test(NAME fuzz_replay_${name} COMMAND ${target} corpus/${name}
      WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
    set_tests_properties(fuzz_replay_${name} PROPERTIES LABELS fuzz)
  endif()
  target_compile_options(${target} PRIVATE ${ZVK_WARNINGS})
  target_link_libraries(${target} PRIVATE ${ARGN})
endfunction()

# zvk_bench(<name> LIBS...): bench/<name>.cpp, a program that prints figures.
function(zvk_bench name)
  add_executable(${name} ${name}.cpp)
  target_compile_options(${name} PRIVATE ${ZVK_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARGN})
endfunction()
