# Installing on Linux, the Debian package, and the tests.
include(GNUInstallDirs)
install(TARGETS lsrcheck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/lsrcheck.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completion/lsrcheck
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES COPYING DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES docs/explain-schema.md docs/databases-schema.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# A Debian package: cpack -G DEB in the build directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lsrcheck)
set(CPACK_PACKAGE_VENDOR "the lsrcheck authors")
set(CPACK_PACKAGE_CONTACT "the lsrcheck authors <lsrcheck@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "check Kpathsea's ls-R databases for files that shadow each other")
set(CPACK_PACKAGE_DESCRIPTION
  "lsrcheck walks the ls-R file-name databases that Kpathsea, the path-search
library of TeX, loads and lists every group of files that share a name,
ignoring case: the copies that shadow each other across texmf trees. It
also reports whether Kpathsea's shared-memory object exists and which
Ghostscript library is installed.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION tex)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Ghostscript is loaded only when -ghostscript asks for it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgs10 | libgs9")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "texlive-base")
include(CPack)

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests)
endif()
add_subdirectory(bench)
if(LSRCHECK_FUZZ)
  add_subdirectory(fuzz)
endif()
