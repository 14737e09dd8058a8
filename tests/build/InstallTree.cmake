cmake_minimum_required(VERSION 3.25)
# Run with cmake -P: installs the build tree into a temporary root (DESTDIR)
# under the prefix /usr, checks that every file is there, and runs the
# installed programs: --version and --help, and the data folder they choose.
file(REMOVE_RECURSE ${WORK_DIR})
set(root ${WORK_DIR}/root)
set(usr ${root}/usr)

function(run_step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE nResult OUTPUT_VARIABLE strOut ERROR_VARIABLE strErr)
    if(NOT nResult EQUAL 0)
        message(FATAL_ERROR "failed (${nResult}): ${ARGN}\n${strOut}\n${strErr}")
    endif()
    set(step_out "${strOut}" PARENT_SCOPE)
endfunction()

run_step(${CMAKE_COMMAND} -E env DESTDIR=${root} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr)

string(REPLACE "," ";" ICON_SIZES "${ICON_SIZES}")
set(programs dravelin-cli dravelin-gateway)
set(expected
    bin/dravelin-cli bin/dravelin-gateway
    share/man/man1/dravelin.1 share/man/man1/dravelin-cli.1 share/man/man1/dravelin-gateway.1
    share/doc/dravelin/copyright)
if(GUI)
    list(APPEND programs dravelin)
    list(APPEND expected
        bin/dravelin
        share/applications/org.dravelin.Dravelin.desktop
        share/mime/packages/dravelin.xml
        share/metainfo/org.dravelin.Dravelin.metainfo.xml
        share/icons/hicolor/scalable/apps/dravelin.svg)
    foreach(size ${ICON_SIZES})
        list(APPEND expected share/icons/hicolor/${size}x${size}/apps/dravelin.png)
    endforeach()
else()
    set(ICON_SIZES)
endif()
foreach(file ${expected})
    if(NOT EXISTS ${usr}/${file})
        message(FATAL_ERROR "not installed: /usr/${file}")
    endif()
endforeach()
# Nothing else: no build-tree leftovers, no test programs.
file(GLOB_RECURSE installed RELATIVE ${usr} ${usr}/*)
foreach(file ${installed})
    if(NOT file IN_LIST expected)
        message(FATAL_ERROR "installed but not expected: /usr/${file}")
    endif()
endforeach()
# The icons are the sizes they say (the PNG header's width and height).
foreach(size ${ICON_SIZES})
    file(READ ${usr}/share/icons/hicolor/${size}x${size}/apps/dravelin.png header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 32 8 w)
    string(SUBSTRING "${header}" 40 8 h)
    math(EXPR w "0x${w}")
    math(EXPR h "0x${h}")
    if(NOT w EQUAL size OR NOT h EQUAL size)
        message(FATAL_ERROR "the ${size}x${size} icon is ${w}x${h}")
    endif()
endforeach()

# --version and --help print to standard output and succeed.
foreach(program ${programs})
    run_step(${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${usr}/bin/${program} --version)
    if(NOT step_out STREQUAL "${program} ${VERSION}\n")
        message(FATAL_ERROR "${program} --version printed '${step_out}'")
    endif()
    run_step(${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${usr}/bin/${program} --help)
    if(NOT step_out MATCHES "^Usage: ${program} |^usage: ${program} ")
        message(FATAL_ERROR "${program} --help printed '${step_out}'")
    endif()
endforeach()

# An installed program keeps its folder read-only, even when it could write
# there: its files go to the XDG folder.
run_step(${CMAKE_COMMAND} -E env --unset=DRAVELIN_HOME HOME=${WORK_DIR}/home
         XDG_CONFIG_HOME=${WORK_DIR}/config ${usr}/bin/dravelin-cli settings)
if(NOT EXISTS ${WORK_DIR}/config/dravelin/Dravelin.ini)
    message(FATAL_ERROR "the installed dravelin-cli did not use ${WORK_DIR}/config/dravelin")
endif()
if(EXISTS ${usr}/bin/Dravelin.ini)
    message(FATAL_ERROR "the installed dravelin-cli wrote into its own folder")
endif()

# The file types compile, and a queue file is known by its contents too.
find_program(UPDATE_MIME update-mime-database)
if(UPDATE_MIME AND GUI)
    run_step(${UPDATE_MIME} ${usr}/share/mime)
    file(READ ${usr}/share/mime/magic magic HEX)
    # "CArticle" after the archive's class tag.
    if(NOT magic MATCHES "ffff010008004341727469636c65")
        message(FATAL_ERROR "the queue file's magic is not in the compiled database")
    endif()
    foreach(type x-dravelin-queue x-nzb)
        if(NOT EXISTS ${usr}/share/mime/application/${type}.xml)
            message(FATAL_ERROR "application/${type} is not in the compiled database")
        endif()
    endforeach()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
