# lsrcheck.exe for 64-bit Windows, cross-built with MinGW-w64 (see
# cmake/mingw-w64.cmake and scripts/build-windows): statically linked, so
# that nothing but KERNEL32, ADVAPI32 and the C runtime is imported.
set(LSRCHECK_KPATHSEA_DIR "" CACHE PATH
  "Kpathsea built for Windows (lib/libkpathsea.a, include/kpathsea), as scripts/windows-kpathsea leaves it")
if(NOT EXISTS "${LSRCHECK_KPATHSEA_DIR}/lib/libkpathsea.a")
  message(FATAL_ERROR "Kpathsea for Windows not found in '${LSRCHECK_KPATHSEA_DIR}': "
    "run scripts/windows-kpathsea and pass its directory as -DLSRCHECK_KPATHSEA_DIR=DIR")
endif()

# The header-only parts are copied beside the build: the host's
# /usr/include must not come before MinGW's own headers.
file(COPY ${GHOSTSCRIPT_INCLUDE_DIR}/ghostscript DESTINATION ${CMAKE_BINARY_DIR}/host-include)
file(COPY ${NLOHMANN_JSON_INCLUDE_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/host-include)
find_file(XXHASH_HEADER xxhash.h NO_CMAKE_FIND_ROOT_PATH)
if(NOT XXHASH_HEADER)
  message(FATAL_ERROR "xxhash.h not found: install the Debian package libxxhash-dev")
endif()
file(COPY ${XXHASH_HEADER} DESTINATION ${CMAKE_BINARY_DIR}/host-include)

target_include_directories(lsrcheck_core PUBLIC ${LSRCHECK_KPATHSEA_DIR}/include
  ${CMAKE_BINARY_DIR}/host-include)
# Kpathsea's instance structure has fields only under WIN32, which MinGW
# defines in GNU modes alone: without it the tool would read the structure
# with another layout than the library's.
# 64-bit file sizes in struct stat; xxHash compiled in, header only.
target_compile_definitions(lsrcheck_core PUBLIC WIN32
  UNICODE _UNICODE _FILE_OFFSET_BITS=64 XXH_INLINE_ALL _POSIX_THREAD_SAFE_FUNCTIONS)
target_link_libraries(lsrcheck_core PUBLIC ${LSRCHECK_KPATHSEA_DIR}/lib/libkpathsea.a
  advapi32)
# Kpathsea's perror calls go to __wrap_perror, which writes each complaint
# once (on Linux the executable's perror takes them over).
target_link_options(lsrcheck_core INTERFACE -Wl,--wrap=perror)

target_link_options(lsrcheck PRIVATE -municode -static -s)

# The ZIP for Windows users: the program, the README, the manual as text
# and the licence, the texts with Windows' CRLF line ends.
set(LSRCHECK_ZIP_TEXTS README.md COPYING docs/explain-schema.md docs/databases-schema.md
  docs/document-schema.md docs/formats-schema.md docs/installations-schema.md)
set(zip_texts)
foreach(text ${LSRCHECK_ZIP_TEXTS})
  get_filename_component(name ${text} NAME)
  add_custom_command(OUTPUT zip/${name}
    COMMAND sed "s/\\r*$/\\r/" ${PROJECT_SOURCE_DIR}/${text} > zip/${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/${text} VERBATIM)
  list(APPEND zip_texts ${CMAKE_BINARY_DIR}/zip/${name})
endforeach()
find_program(GROFF groff)
if(GROFF)
  add_custom_command(OUTPUT zip/lsrcheck.txt
    COMMAND ${GROFF} -man -Tascii -P-cbou ${PROJECT_SOURCE_DIR}/man/lsrcheck.1 | sed "s/$/\\r/"
            > zip/lsrcheck.txt
    DEPENDS ${PROJECT_SOURCE_DIR}/man/lsrcheck.1 VERBATIM)
  list(APPEND zip_texts ${CMAKE_BINARY_DIR}/zip/lsrcheck.txt)
endif()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/zip)
add_custom_target(zip_texts ALL DEPENDS ${zip_texts})
install(TARGETS lsrcheck RUNTIME DESTINATION .)
install(FILES ${zip_texts} DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME lsrcheck)
set(CPACK_PACKAGE_VENDOR "the lsrcheck authors")
set(CPACK_SYSTEM_NAME windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests/windows)
endif()
