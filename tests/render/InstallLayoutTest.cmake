# The installed program: `cmake --install` into a fresh prefix, which must list every file it
# put there in install_manifest.txt; then celshade-tool started through its bin/ link must find
# the ramp and the shaders, and the importer of other formats, beside its real executable.
# Run as: cmake -DBUILD=<build dir> -DPREFIX=<scratch dir> -P InstallLayoutTest.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file lib/celshade/celshade lib/celshade/celshade-tool-device lib/celshade/celshade-import lib/celshade/banda2.bmp lib/celshade/shver2.txt
             share/applications/celshade.desktop share/icons/hicolor/128x128/apps/celshade.png
             share/man/man1/celshade.1.gz share/man/man1/celshade-tool.1.gz share/bash-completion/completions/celshade-tool
             share/metainfo/io.github.celshade.metainfo.xml share/doc/celshade/copyright)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "${file} is not installed")
  endif()
endforeach()
# Everything the install put in place is in install_manifest.txt, which a removal follows.
file(STRINGS ${BUILD}/install_manifest.txt listed)
file(GLOB_RECURSE unlisted LIST_DIRECTORIES false ${PREFIX}/*)
list(REMOVE_ITEM unlisted ${listed})
if(unlisted)
  message(FATAL_ERROR "installed but not in install_manifest.txt: ${unlisted}")
endif()
foreach(program celshade celshade-tool)
  if(NOT IS_SYMLINK ${PREFIX}/bin/${program})
    message(FATAL_ERROR "bin/${program} is not a link")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/celshade-tool render ${PREFIX}/lib/celshade/doom5.x -o ${PREFIX}/box.png
                RESULT_VARIABLE failed ERROR_VARIABLE errors)
if(failed OR NOT EXISTS ${PREFIX}/box.png)
  message(FATAL_ERROR "the installed celshade-tool could not draw: ${errors}")
endif()
file(WRITE ${PREFIX}/triangle.obj "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n")
execute_process(COMMAND ${PREFIX}/bin/celshade-tool info ${PREFIX}/triangle.obj
                RESULT_VARIABLE failed OUTPUT_VARIABLE described ERROR_VARIABLE errors)
if(failed OR NOT described MATCHES "faces: 1")
  message(FATAL_ERROR "the installed celshade-tool could not import: ${errors}")
endif()
