# The installation and its Debian package.
#
# `cmake --install` lays out the programs' own installation under CMAKE_INSTALL_PREFIX
# (/opt/palvorin unless given when configuring): the programs in exe/, and FORMS/, LOCALE/,
# AJUDA/ and ddf/ beside it, everything an installation holds but its data. Start scripts for
# palvorin, palvorin-batch and zepdata go in PALVORIN_SYSTEM_PREFIX/bin (/usr/bin), with the
# package's documents in its share/. CPack packs the same tree as palvorin_<version>_amd64.deb,
# whose dependencies dpkg-shlibdeps finds in the programs.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/palvorin CACHE PATH "The programs' installation" FORCE)
endif()
set(PALVORIN_SYSTEM_PREFIX /usr CACHE PATH
    "Where bin/ gets the start scripts and share/ the package's documents")
set(PALVORIN_MAINTAINER "PALVORIN developers <palvorin@example.org>" CACHE STRING
    "The package's maintainer")

install(TARGETS palvorin palvorin-batch zepdata ZODIRUDI mkdemo RUNTIME DESTINATION exe)
foreach(folder FORMS LOCALE AJUDA ddf)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/inst/${folder} DESTINATION .
          PATTERN .generated EXCLUDE)
endforeach()

# A start script finds the exe/ folder from where it lies, so a copy of the package unpacked
# anywhere runs its own programs. The prefixes are the ones given when configuring.
file(RELATIVE_PATH PALVORIN_EXE_FROM_BIN ${PALVORIN_SYSTEM_PREFIX}/bin ${CMAKE_INSTALL_PREFIX}/exe)
foreach(PALVORIN_PROGRAM palvorin palvorin-batch zepdata)
  configure_file(${CMAKE_SOURCE_DIR}/install/package/start.sh.in
                 ${CMAKE_BINARY_DIR}/start/${PALVORIN_PROGRAM} @ONLY)
  install(PROGRAMS ${CMAKE_BINARY_DIR}/start/${PALVORIN_PROGRAM}
          DESTINATION ${PALVORIN_SYSTEM_PREFIX}/bin)
endforeach()

# The documents every Debian package carries: its copyright and a compressed changelog.
# SOURCE_DATE_EPOCH, when set, fixes the changelog's date.
string(TIMESTAMP PALVORIN_BUILD_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(PALVORIN_DOC_DIR ${CMAKE_BINARY_DIR}/package)
configure_file(${CMAKE_SOURCE_DIR}/install/package/changelog.in ${PALVORIN_DOC_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${PALVORIN_DOC_DIR}/changelog.gz
  COMMAND gzip -9nc changelog > changelog.gz
  WORKING_DIRECTORY ${PALVORIN_DOC_DIR}
  DEPENDS ${PALVORIN_DOC_DIR}/changelog)
add_custom_target(package_changelog ALL DEPENDS ${PALVORIN_DOC_DIR}/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/install/package/copyright ${PALVORIN_DOC_DIR}/changelog.gz
        DESTINATION ${PALVORIN_SYSTEM_PREFIX}/share/doc/palvorin)
install(FILES ${CMAKE_SOURCE_DIR}/install/package/lintian-overrides
        DESTINATION ${PALVORIN_SYSTEM_PREFIX}/share/lintian/overrides RENAME palvorin)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME palvorin)
set(CPACK_PACKAGE_CONTACT ${PALVORIN_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "receipt preparation for property administration, in a terminal")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "For one issue (a month and a date) PALVORIN walks the buildings and co-owners
kept in an installation's keyed record files and builds each co-owner's
receipt: it verifies the co-owners, prints an advance listing or stores the
receipts. zepdata creates a new installation and loads its data.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# lpr prints the listings sent to a print queue.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS cups-bsd)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# The start scripts and documents have absolute destinations; the package takes them as such.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
