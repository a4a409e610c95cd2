# Helpers shared by every module's CMakeLists.txt.

# vistrel_add_test(NAME <name> SOURCES <files...> LIBS <targets...>)
# One QtTest executable registered with CTest; it runs on the offscreen platform.
function(vistrel_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT VISTREL_TESTS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VISTREL_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}/tests/data")
endfunction()

# vistrel_add_fuzzer(NAME <name> CORPUS <folder> SOURCES <files...> LIBS <targets...>
#                    [RUNS <n>])
# A libFuzzer target, built only with VISTREL_FUZZ. Its CTest test (label "fuzz") replays the
# committed corpus folder (seeds and regression files) and then tries RUNS new inputs from
# seed 1, so its verdict depends on the code alone.
function(vistrel_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS;RUNS" "SOURCES;LIBS" ${ARGN})
  if(NOT VISTREL_FUZZ)
    return()
  endif()
  if(NOT F_RUNS)
    set(F_RUNS 20000)
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  add_test(NAME ${F_NAME}_replay
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/fuzz_replay.sh $<TARGET_FILE:${F_NAME}> ${F_CORPUS}
            ${F_RUNS})
  set_tests_properties(${F_NAME}_replay PROPERTIES LABELS fuzz TIMEOUT 1200
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# vistrel_add_module(<module> [LIBS <libraries...>] [TEST_LIBS <libraries...>]
#                    [EXECUTABLE <name> ENTRY <file.cpp>] [FUZZ_RUNS <target>=<n>...])
# The module folder's *.cpp files make the static library vistrel_<module>; the project root
# is its include root ("store/tree_document.h"). Each tests/tst_*.cpp is one QtTest executable
# (test <module>_tst_*), each tests/fuzz_*.cpp one libFuzzer target whose committed corpus is
# tests/fuzz/<its name>/; tests/*.h are shared test helpers of that module. With EXECUTABLE,
# the ENTRY file (holding main) is left out of the library and built into that program.
# FUZZ_RUNS sets a slow fuzz target's fixed-seed run shorter than the default.
function(vistrel_add_module module)
  cmake_parse_arguments(M "" "EXECUTABLE;ENTRY" "LIBS;TEST_LIBS;FUZZ_RUNS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(M_ENTRY)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${M_ENTRY})
  endif()
  add_library(vistrel_${module} STATIC ${sources})
  target_include_directories(vistrel_${module} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(vistrel_${module} PUBLIC ${M_LIBS})
  if(M_EXECUTABLE)
    add_executable(${M_EXECUTABLE} ${M_ENTRY})
    target_link_libraries(${M_EXECUTABLE} PRIVATE vistrel_${module})
  endif()

  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/tst_*.cpp)
  foreach(test IN LISTS tests)
    get_filename_component(name ${test} NAME_WE)
    vistrel_add_test(NAME ${module}_${name} SOURCES ${test}
                     LIBS vistrel_${module} ${M_TEST_LIBS})
  endforeach()

  file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz_*.cpp)
  foreach(fuzzer IN LISTS fuzzers)
    get_filename_component(name ${fuzzer} NAME_WE)
    set(runs "")
    foreach(pair IN LISTS M_FUZZ_RUNS)
      if(pair MATCHES "^${name}=([0-9]+)$")
        set(runs ${CMAKE_MATCH_1})
      endif()
    endforeach()
    vistrel_add_fuzzer(NAME ${module}_${name} SOURCES ${fuzzer} RUNS ${runs}
                       CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/${name}
                       LIBS vistrel_${module} ${M_TEST_LIBS})
  endforeach()
endfunction()
