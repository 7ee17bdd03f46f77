# Installation (cmake --install, make install PREFIX=DIR) and the Debian
# package (make package, through CPack).
include(GNUInstallDirs)
set(KELVORDANTIX_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/kelvordantix)

install(TARGETS kelvordantix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The modules (the PDF renderer, the server drivers), loaded by the program
# by their full path, ../libexec/kelvordantix from its own directory:
# outside the linker's path, they need no ldconfig.
install(TARGETS ${KELVORDANTIX_MODULES} LIBRARY DESTINATION libexec/kelvordantix)
# The manual pages go in compressed, as Debian has them.
foreach(section 1 5)
  set(page ${CMAKE_BINARY_DIR}/man/kelvordantix.${section}.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/man/kelvordantix.${section} > ${page}
    DEPENDS man/kelvordantix.${section})
  list(APPEND KELVORDANTIX_MANPAGES ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(manpages ALL DEPENDS ${KELVORDANTIX_MANPAGES})
install(FILES README.md LICENSE DESTINATION ${KELVORDANTIX_DOCDIR})
# Debian wants the licence as doc/PACKAGE/copyright and a compressed
# changelog in the package.
set(KELVORDANTIX_DEBIAN_DOCS ${CMAKE_BINARY_DIR}/debian-docs)
file(MAKE_DIRECTORY ${KELVORDANTIX_DEBIAN_DOCS})
configure_file(LICENSE ${KELVORDANTIX_DEBIAN_DOCS}/copyright COPYONLY)
file(WRITE ${KELVORDANTIX_DEBIAN_DOCS}/changelog
     "kelvordantix (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- Kelvordantix maintainers <kelvordantix@example.org>  Tue, 08 Dec 2026 12:00:00 +0000\n")
execute_process(COMMAND gzip -9nf ${KELVORDANTIX_DEBIAN_DOCS}/changelog)
install(FILES ${KELVORDANTIX_DEBIAN_DOCS}/copyright ${KELVORDANTIX_DEBIAN_DOCS}/changelog.gz
        DESTINATION ${KELVORDANTIX_DOCDIR})
install(FILES examples/demo.sql examples/sample.rpt examples/sample.rpf DESTINATION ${KELVORDANTIX_DOCDIR}/examples)
install(FILES completion/kelvordantix DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvordantix)
set(CPACK_PACKAGE_VENDOR "Kelvordantix")
set(CPACK_PACKAGE_CONTACT "Kelvordantix maintainers <kelvordantix@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch report generator for RPT report scripts and RPF text")
set(CPACK_PACKAGE_DESCRIPTION
    "Runs RPT report scripts against SQLite, PostgreSQL or any ODBC database\nand sets their output with RPF into paginated plain-text, PDF or HTML\nreports.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kelvordantix.example.org/")
# The binaries are stripped, their debug information split off into
# kelvordantix-dbgsym (a .ddeb beside the package). CPack strips them
# itself while it splits, so CPACK_STRIP_FILES stays off.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# Installed files owned by root whatever the builder.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The shared libraries the binary links (SQLite, unixODBC, the C++ runtime)
# become Depends through dpkg-shlibdeps, with the names this release uses.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# PDF reports are set in DejaVu Sans Mono; text in other scripts needs a
# font that has its characters (the program names the package it misses).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, sqlite3, fonts-noto-core, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
