# What an installation adds for its users beside the programs and their data (the install
# rules before this): manual pages, bash completion, AppStream metainfo and the package's own
# documents. Then the Debian package: `cpack -G DEB` (scripts/package) packs whatever the
# install rules put in place, so a file installed anywhere is in the package too; the package
# alone holds lintian's overrides.
set(generated ${CMAKE_BINARY_DIR}/generated)
set(packed "")
foreach(page celshade.1 celshade-tool.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.in ${generated}/${page} @ONLY)
  list(APPEND packed ${page})
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/Releases.cmake)
celshade_write_changelog(${PROJECT_SOURCE_DIR}/docs/debian/changelog.in ${generated}/changelog)
list(APPEND packed changelog)
# Compressed as Debian wants them; -n keeps the time out, so that builds are reproducible.
foreach(file IN LISTS packed)
  add_custom_command(OUTPUT ${generated}/${file}.gz
    COMMAND gzip -9nc ${generated}/${file} > ${generated}/${file}.gz
    DEPENDS ${generated}/${file} VERBATIM)
  list(APPEND packed_gz ${generated}/${file}.gz)
endforeach()
add_custom_target(celshade_docs ALL DEPENDS ${packed_gz})

install(FILES ${generated}/celshade.1.gz ${generated}/celshade-tool.1.gz DESTINATION share/man/man1)
install(FILES tools/celshade-tool/celshade-tool.bash DESTINATION share/bash-completion/completions
        RENAME celshade-tool)
configure_file(app/celshade.metainfo.xml.in ${generated}/io.github.celshade.metainfo.xml @ONLY)
install(FILES ${generated}/io.github.celshade.metainfo.xml DESTINATION share/metainfo)
install(FILES docs/debian/copyright ${generated}/changelog.gz DESTINATION share/doc/celshade)
# A stripped install (cpack, cmake --install --strip) also drops what strip keeps and Debian's
# own packaging removes: the compilers' .comment and .note sections.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program celshade celshade-tool celshade-tool-device celshade-import)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CELSHADE_INSTALL_DIR}/\${program}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME celshade)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# What only the package holds, not an installation from the build tree: lintian's overrides.
# CPack runs this script when it fills the package's staging tree, which DESTDIR names (and
# file(INSTALL) puts before the destination).
file(CONFIGURE OUTPUT ${generated}/PackageOnly.cmake @ONLY CONTENT [[
file(INSTALL "@PROJECT_SOURCE_DIR@/docs/debian/lintian-overrides"
     DESTINATION "@CPACK_PACKAGING_INSTALL_PREFIX@/share/lintian/overrides" RENAME celshade
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
]])
set(CPACK_INSTALL_SCRIPTS ${generated}/PackageOnly.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # celshade_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CELSHADE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cartoon (cel) shading of 3D models, with their outlines")
# The extended description; CPack puts the summary above it and indents each line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "celshade draws 3D models cartoon-shaded, in flat bands of colour with
black outlines, and turns and zooms them with the mouse. Its start dialog
offers five models of its own, and its Open button (Ctrl+O) one of yours:
glTF, OBJ, FBX, COLLADA, PLY, STL, 3DS, DirectX .x and the other formats
Assimp reads. Those other formats are read by an importer in a process of
its own; a broken file is reported and the program goes on. Textured models
are drawn in their textures' colours, and scans of millions of triangles
open fast. F12 saves the picture on screen.

celshade-tool checks models and makes pictures and turntable animations
(GIF, WebP, PNG frames) of them without a display.")
# The libraries the executables link to are found by dpkg-shlibdeps; what they load at run time
# is named here: an OpenGL driver (Mesa draws without a GPU), Qt's window-system plugins, and
# a font with the overlay's Chinese characters.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libegl-mesa0 | libegl-vendor, libgl1-mesa-dri, qt6-qpa-plugins, fonts-wqy-microhei | fonts-noto-cjk")
include(CPack)
