# Run with cmake -P: configures the tree as a distribution would, then builds the
# GUI-free targets at -O3 with warnings as errors to show the code is clean.
file(REMOVE_RECURSE ${WORK_DIR})

function(run_step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE nResult OUTPUT_VARIABLE strOut ERROR_VARIABLE strOut)
    if(NOT nResult EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${strOut}")
    endif()
endfunction()

run_step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/plain -G Ninja -DCMAKE_BUILD_TYPE=Release
         -DDRAVELIN_BUILD_GUI=OFF -DDRAVELIN_BUILD_TESTS=OFF)
file(READ ${WORK_DIR}/plain/compile_commands.json strCommands)
if(strCommands MATCHES "-Werror")
    message(FATAL_ERROR "a plain Release configure compiles with -Werror")
endif()
if(NOT strCommands MATCHES "-O3")
    message(FATAL_ERROR "a plain Release configure does not compile at -O3")
endif()

run_step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/strict -G Ninja -DCMAKE_BUILD_TYPE=Release
         -DDRAVELIN_BUILD_GUI=OFF -DDRAVELIN_BUILD_TESTS=OFF -DDRAVELIN_WERROR=ON)
run_step(${CMAKE_COMMAND} --build ${WORK_DIR}/strict -j 2)
file(REMOVE_RECURSE ${WORK_DIR})
