cmake_minimum_required(VERSION 3.25)
# Run with cmake -P: builds the Debian package with cpack, checks what it
# declares and holds, runs its dravelin-cli, validates its menu entry, and
# lets lintian judge it (no errors allowed).
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run_step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE nResult OUTPUT_VARIABLE strOut ERROR_VARIABLE strErr)
    if(NOT nResult EQUAL 0)
        message(FATAL_ERROR "failed (${nResult}): ${ARGN}\n${strOut}\n${strErr}")
    endif()
    set(step_out "${strOut}" PARENT_SCOPE)
endfunction()

run_step(${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})
file(GLOB debs ${WORK_DIR}/*.deb)
list(LENGTH debs nDebs)
if(NOT nDebs EQUAL 1)
    message(FATAL_ERROR "cpack made ${nDebs} packages: ${debs}")
endif()

# The libraries it links are declared.
run_step(dpkg-deb --field ${debs} Package Version Depends)
foreach(dependency "Package: dravelin" "Version: ${VERSION}-1" libc6 libcurl4 libqt6widgets6 libqt6dbus6 libssl3)
    string(FIND "${step_out}" "${dependency}" nAt)
    if(nAt LESS 0)
        message(FATAL_ERROR "the package does not declare ${dependency}:\n${step_out}")
    endif()
endforeach()

run_step(dpkg-deb -x ${debs} ${WORK_DIR}/root)
run_step(${WORK_DIR}/root/usr/bin/dravelin-cli --version)
if(NOT step_out STREQUAL "dravelin-cli ${VERSION}\n")
    message(FATAL_ERROR "the packaged dravelin-cli --version printed '${step_out}'")
endif()
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    run_step(${DESKTOP_FILE_VALIDATE} ${WORK_DIR}/root/usr/share/applications/org.dravelin.Dravelin.desktop)
endif()

find_program(LINTIAN lintian)
if(LINTIAN)
    execute_process(COMMAND ${LINTIAN} --no-tag-display-limit ${debs}
                    RESULT_VARIABLE nResult OUTPUT_VARIABLE strOut ERROR_VARIABLE strErr)
    if(strOut MATCHES "(^|\n)E: ")
        message(FATAL_ERROR "lintian reports errors:\n${strOut}${strErr}")
    endif()
    message(STATUS "lintian:\n${strOut}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
