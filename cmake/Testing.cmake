# The tests that run threads of ours, or code beside threads of others: the vertex-shader
# worker pool, the memory warm-up's thread, the device (over llvmpipe's threads), the windows
# and the programs the tests start. They are labelled "thread", and the target thread_tests
# builds them: scripts/test's thread stage runs them under ThreadSanitizer. A test of code that
# starts a thread or a process belongs here.
set(CELSHADE_THREAD_TESTS
  runtime_tests vs_tests edges_tests d3d8_device_tests shaderbind_device_tests d3dsupport_tests recipe_tests
  tools_tests dialog_tests ui_warmup_tests ui_glwindow_tests render_idle_tests e2e_tests
  import_tests soak_tests)

# celshade_add_test(NAME SOURCES a.cpp b.cpp LIBS lib... [DISPLAY])
# DISPLAY: the test needs an X display (it is run under xvfb-run by scripts/test and labelled so).
# Tests that use only the off-screen OpenGL device need no display and are labelled "gl".
function(celshade_add_test name)
  cmake_parse_arguments(T "DISPLAY;GL" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock celshade_warnings)
  # Helpers every test may use: support/SharedData.h for files from ../shared.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    CELSHADE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    CELSHADE_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared"
    CELSHADE_RUNTIME_DIR="${CELSHADE_RUNTIME_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(labels "")
  if(T_DISPLAY)
    list(APPEND labels display)
  endif()
  if(T_GL)
    list(APPEND labels gl)
  endif()
  if(name IN_LIST CELSHADE_THREAD_TESTS)
    list(APPEND labels thread)
  endif()
  # Widget tests that draw nothing run on Qt's offscreen platform; DISPLAY tests get the
  # X server that scripts/test starts.
  set(props "")
  if(NOT T_DISPLAY)
    list(APPEND props ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  else()
    # One display for all: two tests' windows must not meet on it.
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
  # gtest_discover_tests passes a property on as one value, not a list: the labels go on the
  # discovered tests in a file ctest reads after the one that names them. So does the pattern
  # of a skipped test, so that ctest reports it as skipped rather than passed.
  set(properties_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${properties_file}
    "foreach(test IN LISTS ${name}_TESTS)\n"
    "  set_tests_properties(\"\${test}\" PROPERTIES SKIP_REGULAR_EXPRESSION \"\\\\[  SKIPPED \\\\]\")\n")
  if(labels)
    file(APPEND ${properties_file} "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\")\n")
  endif()
  file(APPEND ${properties_file} "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties_file})
endfunction()

# celshade_add_bench(NAME SOURCES ... LIBS ...): with the heap policy of the program (bench/HeapPolicy.cpp).
function(celshade_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES} ${PROJECT_SOURCE_DIR}/bench/HeapPolicy.cpp)
  target_link_libraries(${name} PRIVATE ${B_LIBS} celshade_runtime benchmark::benchmark benchmark::benchmark_main
                        celshade_warnings)
  target_compile_definitions(${name} PRIVATE
    CELSHADE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    CELSHADE_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
