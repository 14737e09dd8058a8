# cpack -G DEB: a Debian package of the installed tree, its dependencies found
# by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME dravelin)
set(CPACK_PACKAGE_VENDOR "The Dravelin developers")
set(CPACK_PACKAGE_CONTACT "Dravelin developers <maintainers@dravelin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for web-based Usenet gateways")
set(CPACK_PACKAGE_DESCRIPTION
    "Dravelin lists a newsgroup through the web gateway of a Usenet service,\n"
    "shows its articles and downloads the selected ones from a queue with\n"
    "limits per account, retries, a progress list and a daily byte counter.\n"
    "It also opens NZB files, and comes with a headless front end and a\n"
    "gateway that serves the same requests from an NNTP server.")
list(JOIN CPACK_PACKAGE_DESCRIPTION "" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# Debian's own rules for documents: compressed manual pages and a changelog.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake)
set(CPACK_DRAVELIN_DOCDIR ${DRAVELIN_INSTALL_DOCDIR})
set(CPACK_DRAVELIN_MANDIR ${CMAKE_INSTALL_MANDIR})
include(CPack)
