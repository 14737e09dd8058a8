# Common configuration shared by every Dravelin target: the language level and
# the warning policy (warnings are errors).
add_library(dravelin_config INTERFACE)
add_library(Dravelin::config ALIAS dravelin_config)
target_compile_features(dravelin_config INTERFACE cxx_std_20)
target_compile_options(dravelin_config INTERFACE
    -Wall -Wextra -Werror -Wno-missing-field-initializers)

# Sanitizer builds: -DDRAVELIN_SANITIZE=address,undefined or =thread
set(DRAVELIN_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined | thread)")
if(DRAVELIN_SANITIZE)
    target_compile_options(dravelin_config INTERFACE -fsanitize=${DRAVELIN_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(dravelin_config INTERFACE -fsanitize=${DRAVELIN_SANITIZE})
endif()
