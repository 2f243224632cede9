cmake_minimum_required(VERSION 3.25)
# Whatever builds the program or the tool builds what they run: the importer of other formats
# (and, for the tool, the program that draws), so that a build of only `celshade` opens every
# format. Asks Ninja for everything a target is made from.
# Run as: cmake -DNINJA=<ninja> -DBUILD=<build dir> -P ProgramDependenciesTest.cmake
foreach(pair "bin/celshade:bin/celshade-import" "bin/celshade-tool:bin/celshade-import"
             "bin/celshade-tool:bin/celshade-tool-device" "bin/celshade-tool-device:bin/celshade-import")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 target)
  list(GET pair 1 needed)
  execute_process(COMMAND ${NINJA} -C ${BUILD} -t inputs ${target} OUTPUT_VARIABLE inputs RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "ninja cannot list what ${target} is made from")
  endif()
  string(REPLACE "\n" ";" inputs "${inputs}")
  if(NOT needed IN_LIST inputs)
    message(FATAL_ERROR "building ${target} does not build ${needed}")
  endif()
endforeach()
