# Shared compile settings and the helpers every folder uses to add its parts.

# The kit's texts are CP949 bytes in the binary, kept byte for byte.
# GCC converts UTF-8 literals with -fexec-charset; clang cannot, so under clang
# the literals stay UTF-8 and the platform's text edges pass bytes through.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(KV_TEXT_CP949 1)
else()
  set(KV_TEXT_CP949 0)
endif()

set(KV_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)

# Sanitizer build type: cmake -DCMAKE_BUILD_TYPE=Asan
set(CMAKE_CXX_FLAGS_ASAN "-O1 -g -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
    CACHE STRING "" FORCE)
set(CMAKE_C_FLAGS_ASAN "${CMAKE_CXX_FLAGS_ASAN}" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_ASAN "-fsanitize=address,undefined" CACHE STRING "" FORCE)

if(KV_FUZZ)
  # Undefined behaviour stops the run, as an address error does: reported and
  # carried on from, it left the fuzzers' exit status clean.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g -O1)
  add_link_options(-fsanitize=address,undefined)
endif()

file(RELATIVE_PATH KV_SOURCE_FROM_BUILD ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
string(REGEX REPLACE "/$" "" KV_SOURCE_FROM_BUILD "${KV_SOURCE_FROM_BUILD}")

# Every target sees the repository root privately: its own sources reach their
# private headers as "platform/d3d/objects.h". What a target shows to others is
# only its layer's public include folder (kv_add_layer, kv_public_headers).
function(kv_common target)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${KV_WARNINGS}
    # log lines name the module as "kvSys/Memory.cpp", not the build machine's path
    # (nor "../kvSys/Memory.cpp" when a compiler cache hands the compiler
    # relative paths)
    -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/= -fmacro-prefix-map=${KV_SOURCE_FROM_BUILD}/=)
  target_compile_definitions(${target} PUBLIC KV_TEXT_CP949=${KV_TEXT_CP949})
endfunction()

# Kit code: CP949 literals where the compiler can make them.
function(kv_kit_target target)
  kv_common(${target})
  if(KV_TEXT_CP949)
    target_compile_options(${target} PRIVATE -fexec-charset=CP949)
  endif()
endfunction()

# Platform code: UTF-8 literals; it converts the kit's CP949 at its edges.
function(kv_platform_target target)
  kv_common(${target})
endfunction()

# kv_add_layer(target NAME name [KIT]): a static library that is one layer of the
# kit (see cmake/README.md). Its public include folder is made of links to the
# headers its folders name with kv_public_headers, at their paths from the
# repository root, so "platform/d3d/d3d.h" reads the same inside and outside.
# kvKIT::<name> is the name programs use, in the tree and once installed.
function(kv_add_layer target)
  cmake_parse_arguments(L "KIT" "NAME" "" ${ARGN})
  add_library(${target} STATIC)
  add_library(kvKIT::${L_NAME} ALIAS ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${L_NAME})
  if(L_KIT)
    kv_kit_target(${target})
  else()
    kv_platform_target(${target})
  endif()
  set(folder ${PROJECT_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${folder})  # headers dropped from a layer leave no stale link
  file(MAKE_DIRECTORY ${folder})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${folder}>)
  set_property(GLOBAL APPEND PROPERTY KV_LAYERS ${target})
endfunction()

# kv_public_headers(target header...): headers of the calling folder that other
# layers and programs may include. Any other header of the folder stays private.
function(kv_public_headers target)
  foreach(header ${ARGN})
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/${header})
    if(NOT EXISTS ${source})
      message(FATAL_ERROR "kv_public_headers: ${source} does not exist")
    endif()
    file(RELATIVE_PATH path ${PROJECT_SOURCE_DIR} ${source})
    set(link ${PROJECT_BINARY_DIR}/layers/${target}/${path})
    get_filename_component(dir ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${source} ${link} SYMBOLIC)
    set_property(TARGET ${target} APPEND PROPERTY KV_PUBLIC_HEADERS ${path})
  endforeach()
endfunction()

# Adds every .cpp of the calling folder to a target (folders own their sources,
# so parallel work on different folders never edits a shared list).
function(kv_add_folder_sources target)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  target_sources(${target} PRIVATE ${sources})
endfunction()

# kv_add_test(area LABELS unit|integration|ui SOURCES a.cpp b.cpp [LIBS x])
# One GoogleTest program per area, named test_<area>, on the kit and the headless host. Test sources are compiled
# like the kit (CP949 literals), so expected kit texts can be written plainly.
function(kv_add_test area)
  cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS" ${ARGN})
  add_executable(test_${area} ${T_SOURCES})
  kv_kit_target(test_${area})
  target_link_libraries(test_${area} PRIVATE kvkit kvhost_headless GTest::gtest GTest::gtest_main
    ${T_LIBS})
  # Window tests pace on the wall clock and judge pictures by time, so they run
  # alone: beside other tests on a small machine they see a starved demo.
  set(serial "")
  if(T_LABELS STREQUAL "ui")
    set(serial RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(test_${area} PROPERTIES LABELS "${T_LABELS}" ${serial}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} DISCOVERY_TIMEOUT 60)
endfunction()

# kv_add_bench(name SOURCES ...): a Google Benchmark program bench_<name>.
function(kv_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${name} ${B_SOURCES})
  kv_kit_target(bench_${name})
  target_link_libraries(bench_${name} PRIVATE kvkit kvhost_headless benchmark::benchmark ${B_LIBS})
endfunction()

# kv_add_fuzzer(name SOURCES ...): a libFuzzer target fuzz_<name> (KV_FUZZ builds only).
function(kv_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${F_SOURCES})
  kv_kit_target(fuzz_${name})
  target_link_libraries(fuzz_${name} PRIVATE kvkit kvhost_headless ${F_LIBS})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# Adds every subfolder that has a CMakeLists.txt (tests/, fuzz/, bench/ areas).
function(kv_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${child})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt AND
       NOT folder IN_LIST KV_SKIPPED_FOLDERS)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
