# Installation (cmake --install, make install PREFIX=DIR) and the Debian
# package (make package, through CPack).
include(GNUInstallDirs)
set(KELVORDANTIX_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/kelvordantix)

install(TARGETS kelvordantix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The PDF module, found by the program at ../lib/kelvordantix from its own directory.
install(TARGETS kelvordantix_pdf LIBRARY DESTINATION lib/kelvordantix)
install(FILES man/kelvordantix.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES man/kelvordantix.5 DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
install(FILES README.md LICENSE DESTINATION ${KELVORDANTIX_DOCDIR})
install(FILES examples/demo.sql examples/sample.rpt examples/sample.rpf DESTINATION ${KELVORDANTIX_DOCDIR}/examples)
install(FILES completion/kelvordantix DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvordantix)
set(CPACK_PACKAGE_VENDOR "Kelvordantix")
set(CPACK_PACKAGE_CONTACT "Kelvordantix maintainers <kelvordantix@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch report generator for RPT report scripts and RPF text")
set(CPACK_PACKAGE_DESCRIPTION
    "Runs RPT report scripts against SQLite, PostgreSQL or any ODBC database and sets their output with RPF into paginated plain-text reports.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/kelvordantix")
# The shared libraries the binary links (SQLite, unixODBC, the C++ runtime)
# become Depends through dpkg-shlibdeps, with the names this release uses.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, sqlite3")
# PDF reports are set in DejaVu Sans Mono.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
