# The installed layout and the Debian package (cpack -G DEB in the build folder), laid out so
# that lintian finds nothing to report: copyright file, changelog and manual pages compressed
# with gzip -9n, a maintainer who can be written to, an extended description.
include(GNUInstallDirs)

# Each page or text compressed the way Debian wants it: no name, no time stamp, best ratio.
function(pelko_gzip_for_package out_var)
  set(outputs "")
  foreach(src IN LISTS ARGN)
    get_filename_component(name ${src} NAME)
    set(copy ${CMAKE_BINARY_DIR}/packaging/${name})
    add_custom_command(OUTPUT ${copy}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${src} ${copy}
      COMMAND gzip -9nf ${copy}
      DEPENDS ${src} VERBATIM)
    list(APPEND outputs ${copy}.gz)
  endforeach()
  set(${out_var} ${outputs} PARENT_SCOPE)
endfunction()

if(NOT TARGET pelko OR NOT TARGET zemra_sim)
  return()
endif()

# The changelog's newest entry names the version being built.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog pelko_changelog_top LIMIT_COUNT 1)
if(NOT pelko_changelog_top MATCHES "^pelko \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with \"${pelko_changelog_top}\", "
                      "not with an entry for version ${PROJECT_VERSION}")
endif()

set(pelko_pages ${CMAKE_SOURCE_DIR}/packaging/pelko.1 ${CMAKE_SOURCE_DIR}/packaging/zemra_sim.1)
pelko_gzip_for_package(pelko_pages_gz ${pelko_pages})
pelko_gzip_for_package(pelko_changelog_gz ${CMAKE_SOURCE_DIR}/packaging/changelog)
add_custom_target(pelko_package_docs ALL DEPENDS ${pelko_pages_gz} ${pelko_changelog_gz})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(pelko_docdir ${CMAKE_INSTALL_DATADIR}/doc/pelko)
install(TARGETS pelko zemra_sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/pelko.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES assets/pelko.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES ${pelko_pages_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright DESTINATION ${pelko_docdir})
# A version without a Debian revision makes this a native package: its changelog is changelog.gz.
install(FILES ${pelko_changelog_gz} DESTINATION ${pelko_docdir})

set(CPACK_PACKAGE_NAME pelko)
set(CPACK_PACKAGE_VENDOR "Pelko")
set(CPACK_PACKAGE_CONTACT "Pelko developers <maintainers@pelko.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "serial terminal and source uploader for the Zemra microcontroller")
set(CPACK_PACKAGE_DESCRIPTION
    "Pelko talks to a Zemra target over a serial port (COM1 to COM4) or an
RFC 2217 network serial port, shows what the target sends on a fixed screen
of 80 columns by 25 rows, and uploads source files to it one line at a time,
each line paced by the target's echo. Comments and blank lines are never
sent; directives in comments skip, resume or pause the upload.
.
Uploads run from the Qt window or from scripts (pelko --upload), and
pelko --dry-run lists what an upload would send. The package also holds
zemra_sim, a stand-in target on a pseudo-terminal or TCP port for trying
Pelko without hardware.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY pelko)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # the libraries the binaries link, and nothing more
# The window needs a platform plugin, which the Qt libraries only recommend.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
