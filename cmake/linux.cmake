# The Linux build: Debian's Kpathsea and xxHash, the libraries for
# shared memory and dlopen; installing, the Debian package, and the tests.
find_package(PkgConfig)
if(NOT PKG_CONFIG_FOUND)
  message(FATAL_ERROR "pkg-config not found: install the Debian package pkg-config")
endif()
pkg_check_modules(KPATHSEA kpathsea)
if(NOT KPATHSEA_FOUND)
  message(FATAL_ERROR "Kpathsea not found: install the Debian package libkpathsea-dev")
endif()
find_path(XXHASH_INCLUDE_DIR xxhash.h)
find_library(XXHASH_LIBRARY xxhash)
if(NOT XXHASH_INCLUDE_DIR OR NOT XXHASH_LIBRARY)
  message(FATAL_ERROR "xxHash not found: install the Debian package libxxhash-dev")
endif()
# shm_open lives in librt on older C libraries; dlopen in libdl.
find_library(RT_LIBRARY rt)
if(NOT RT_LIBRARY)
  set(RT_LIBRARY "")
endif()
target_include_directories(lsrcheck_core PUBLIC ${KPATHSEA_INCLUDE_DIRS}
  ${GHOSTSCRIPT_INCLUDE_DIR} ${NLOHMANN_JSON_INCLUDE_DIR} ${XXHASH_INCLUDE_DIR})
find_package(Threads REQUIRED)
target_link_libraries(lsrcheck_core PUBLIC ${KPATHSEA_LINK_LIBRARIES}
  ${RT_LIBRARY} ${CMAKE_DL_LIBS} ${XXHASH_LIBRARY} Threads::Threads)
if(LSRCHECK_SANITIZE)
  target_sources(lsrcheck PRIVATE src/sanitizer_defaults.cc)
endif()

# Installing on Linux, the Debian package, and the tests.
include(GNUInstallDirs)
install(TARGETS lsrcheck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/lsrcheck.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completion/lsrcheck
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES COPYING DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES docs/explain-schema.md docs/databases-schema.md docs/document-schema.md
  docs/formats-schema.md docs/installations-schema.md
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
