# Native build: the portable core and its GoogleTest unit tests, with sanitizers.
find_package(GTest REQUIRED)

set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(updater_core STATIC ${CORE_SOURCES})
target_include_directories(updater_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(updater_core PRIVATE -Wall -Wextra -Werror ${SANITIZE_FLAGS})
target_link_options(updater_core PUBLIC ${SANITIZE_FLAGS})

add_subdirectory(tests/unit)
