# Native build: the portable core and its GoogleTest unit tests, with sanitizers.
find_package(GTest REQUIRED)

set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(updater_core STATIC ${CORE_SOURCES})
target_include_directories(updater_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(updater_core PRIVATE -Wall -Wextra -Werror ${SANITIZE_FLAGS})
target_link_options(updater_core PUBLIC ${SANITIZE_FLAGS})

add_subdirectory(tools)
add_subdirectory(tests/unit)
add_subdirectory(tests/interop)

# The SZDD fuzz target needs clang's libFuzzer: it is built by its script with
# clang++ next to this gcc build, then run for a bounded time as a test.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(SZDD_FUZZ_DIR ${CMAKE_BINARY_DIR}/tests/fuzz/szdd)
  add_custom_target(szdd_expand_fuzz ALL
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/fuzz/run_szdd_fuzz.sh ${CMAKE_SOURCE_DIR} ${SZDD_FUZZ_DIR} build
    COMMENT "Building the SZDD fuzz target with clang++"
    VERBATIM)
  add_test(NAME fuzz.szdd_expand
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/fuzz/run_szdd_fuzz.sh ${CMAKE_SOURCE_DIR} ${SZDD_FUZZ_DIR} 15)
  set_tests_properties(fuzz.szdd_expand PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
endif()
