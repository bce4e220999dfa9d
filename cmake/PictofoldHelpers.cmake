# Adds every immediate sub-folder of the current source folder that has a CMakeLists.txt,
# so each area owns its folder and nobody edits a shared list.
function(pictofold_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# pictofold_add_gtest(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l])
# One GoogleTest executable; each TEST becomes a ctest case.
function(pictofold_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} pictofold_testsupport GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(props ENVIRONMENT "PICTOFOLD_BIN=${CMAKE_BINARY_DIR}/bin")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    PROPERTIES ${props} DISCOVERY_TIMEOUT 60)
endfunction()

# pictofold_add_fuzzer(NAME SOURCES x_fuzzer.cpp LIBS libs... [SEEDS dir])
# With PICTOFOLD_FUZZ the target is a libFuzzer binary; otherwise it links a replay driver.
# Either way ctest replays every file of the seed folder through it.
function(pictofold_add_fuzzer name)
  cmake_parse_arguments(F "" "SEEDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SEEDS)
    set(F_SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(PICTOFOLD_FUZZ)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_link_libraries(${name} PRIVATE pictofold_fuzz_replay)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  if(NOT PICTOFOLD_FUZZ)
    add_test(NAME fuzz_replay.${name} COMMAND ${name} ${F_SEEDS})
    set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz)
  endif()
endfunction()

# pictofold_library_headers(TARGET [PUBLIC_HEADERS a.h b.h ...])
# A library sees the whole source tree itself, but shows its users only the headers named
# here: they are linked into ${CMAKE_BINARY_DIR}/public/<folder>/, the only include folder it
# passes on. So a front end cannot reach into a library's internals.
function(pictofold_library_headers target)
  cmake_parse_arguments(H "" "" "PUBLIC_HEADERS" ${ARGN})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(public ${CMAKE_BINARY_DIR}/public)
  file(MAKE_DIRECTORY ${public}/${folder})
  foreach(header ${H_PUBLIC_HEADERS})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${public}/${folder}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${public})
endfunction()
