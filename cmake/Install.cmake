# What `cmake --install` puts in place: the program, its desktop entry, its icon and its
# AppStream metadata, under the reverse-DNS name of the program's web address. The test and
# benchmark programs are never installed. CPack makes the Debian package of the same files.
include(GNUInstallDirs)

set(VISTREL_APP_ID org.vistrel.Vistrel)
# Installing or packaging builds nothing more than the program it installs: the test
# programs need not be built for a package.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS vistrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/${VISTREL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/${VISTREL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/emblem.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VISTREL_APP_ID}.svg)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vistrel developers <developers@vistrel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture viewer with a round magnifying glass")
set(CPACK_PACKAGE_DESCRIPTION
    "Vistrel lists a folder and shows the chosen picture fitted into its pane; a round glass
that you drag over the picture shows it magnified. It reads BMP/DIB, JPEG, GIF, PNG, WebP,
TIFF, SVG, HEIC/HEIF, AVIF, JPEG XL, ICO, WMF and EMF files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vistrel.org/)
# The libraries it links are found by dpkg-shlibdeps; the faces that the interface and the
# metafile text ask for (Arial, Arial Narrow) are not a library it links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The standard CMYK press profile is a file the program reads (libgs-common's); libjxl is
# opened by its name at the first JPEG XL picture, and librsvg by the process that draws a
# drawing: no linked library names them, so their packages are named here.
set(depends libgs-common)
find_program(VISTREL_DPKG_QUERY dpkg-query)
if(VISTREL_DPKG_QUERY)
  foreach(library IN ITEMS jxl rsvg-2)
    file(REAL_PATH ${VISTREL_${library}_FILE} library_file)
    execute_process(COMMAND ${VISTREL_DPKG_QUERY} -S ${library_file}
                    OUTPUT_VARIABLE library_package RESULT_VARIABLE unowned ERROR_QUIET)
    if(NOT unowned)
      string(REGEX REPLACE ":.*" "" library_package "${library_package}")
      list(APPEND depends ${library_package})
    endif()
  endforeach()
endif()
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
include(CPack)
