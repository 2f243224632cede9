# Adds each listed folder that has a CMakeLists.txt; folders still empty are skipped,
# so the tree configures while its parts are being written.
function(celshade_add_subdirs)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
