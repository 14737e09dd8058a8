# Common configuration shared by every Dravelin target: the language level and
# the warning policy (warnings are errors).
add_library(dravelin_config INTERFACE)
add_library(Dravelin::config ALIAS dravelin_config)
target_compile_features(dravelin_config INTERFACE cxx_std_20)
target_compile_options(dravelin_config INTERFACE
    -Wall -Wextra -Werror -Wno-missing-field-initializers)
# GCC 12 reports std::string appends as overlapping memcpy calls at -O3 (GCC
# bug 105651), which breaks the Release builds of the benchmarks.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(dravelin_config INTERFACE -Wno-restrict)
endif()

# Sanitizer builds: -DDRAVELIN_SANITIZE=address,undefined or =thread
set(DRAVELIN_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined | thread)")
if(DRAVELIN_SANITIZE)
    target_compile_options(dravelin_config INTERFACE -fsanitize=${DRAVELIN_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(dravelin_config INTERFACE -fsanitize=${DRAVELIN_SANITIZE})
endif()
