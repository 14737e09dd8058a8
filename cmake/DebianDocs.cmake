# Run by cpack in the staged tree before the package is made: manual pages
# and the changelog compressed as Debian wants them (gzip -9n).
file(GLOB_RECURSE staged_pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/${CPACK_DRAVELIN_MANDIR}/man1/*.1")
file(GLOB_RECURSE staged_docs LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/${CPACK_DRAVELIN_DOCDIR}")
foreach(page ${staged_pages})
    execute_process(COMMAND gzip -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
foreach(dir ${staged_docs})
    if(IS_DIRECTORY ${dir})
        string(TIMESTAMP today "%a, %d %b %Y %H:%M:%S +0000" UTC)
        file(WRITE ${dir}/changelog.Debian
             "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium\n\n"
             "  * Package of release ${CPACK_PACKAGE_VERSION}.\n\n"
             " -- ${CPACK_PACKAGE_CONTACT}  ${today}\n")
        execute_process(COMMAND gzip -9nf ${dir}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
