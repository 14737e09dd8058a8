# Common configuration shared by every Dravelin target: the language level and
# the warning policy. Warnings are errors in our presets and CI; a packager's
# plain configure keeps them as warnings so a newer compiler cannot break it.
option(DRAVELIN_WERROR "Treat compiler warnings as errors" OFF)

add_library(dravelin_config INTERFACE)
add_library(Dravelin::config ALIAS dravelin_config)
target_compile_features(dravelin_config INTERFACE cxx_std_20)
target_compile_options(dravelin_config INTERFACE
    -Wall -Wextra -Wno-missing-field-initializers)
if(DRAVELIN_WERROR)
    target_compile_options(dravelin_config INTERFACE -Werror)
endif()

# A compiler cache when one is installed: rebuilds of unchanged sources, also
# from a second checkout, come from the cache.
find_program(DRAVELIN_CCACHE ccache)
if(DRAVELIN_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${DRAVELIN_CCACHE})
endif()

# Sanitizer builds: -DDRAVELIN_SANITIZE=address,undefined or =thread
set(DRAVELIN_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined | thread)")
if(DRAVELIN_SANITIZE)
    target_compile_options(dravelin_config INTERFACE -fsanitize=${DRAVELIN_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(dravelin_config INTERFACE -fsanitize=${DRAVELIN_SANITIZE})
endif()

# Fuzz builds (the fuzz preset): every library is instrumented for libFuzzer's
# coverage feedback; only the fuzz targets link its main. A sanitizer report
# ends the run, so the fuzzer keeps the input.
if(DRAVELIN_FUZZ)
    target_compile_options(dravelin_config INTERFACE -fsanitize=fuzzer-no-link -fno-sanitize-recover=all)
    target_link_options(dravelin_config INTERFACE -fno-sanitize-recover=all)
endif()

# Coverage builds: -DDRAVELIN_COVERAGE=ON (the coverage preset, `make coverage`)
option(DRAVELIN_COVERAGE "Instrument for line and branch coverage (gcc --coverage)" OFF)
if(DRAVELIN_COVERAGE)
    target_compile_options(dravelin_config INTERFACE --coverage -fprofile-update=atomic)
    target_link_options(dravelin_config INTERFACE --coverage)
endif()
