# The fuzz build (-DTAVIRO_FUZZ=ON, clang): every library of the tree is compiled with
# AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's coverage, so a fuzz target links
# the very code the programs run. Configured by scripts/fuzz.sh and scripts/test.sh in
# build/fuzz; the regular builds never see it.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR WIN32)
  message(FATAL_ERROR "the fuzz build needs a native clang (CXX=clang++ CC=clang)")
endif()

# The unit tests and benchmarks belong to the regular native build.
set(TAVIRO_TESTS OFF CACHE BOOL "" FORCE)
set(TAVIRO_BENCH OFF CACHE BOOL "" FORCE)

set(TAVIRO_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
add_compile_options(-g -O1 -fno-omit-frame-pointer ${TAVIRO_SANITIZERS}
                    -fsanitize=fuzzer-no-link)
add_link_options(${TAVIRO_SANITIZERS})

set(TAVIRO_FUZZ_LIST ${CMAKE_BINARY_DIR}/fuzz_targets.txt)
set(TAVIRO_FUZZ_SEEDS ${CMAKE_BINARY_DIR}/seeds)
file(WRITE ${TAVIRO_FUZZ_LIST} "")

# taviro_fuzz_target(NAME SOURCES... [LIBS libs...] [MAX_LEN bytes])
# One libFuzzer target over LLVMFuzzerTestOneInput in its sources. Its seeds are the files in
# tests/fuzz/seeds/NAME (small, committed) and build/fuzz/seeds/NAME (made at test time by
# tests/fuzz/make_seeds.sh from the suite's own tools, sox and ffmpeg). It is registered
# - with CTest as fuzz_NAME: a short run over its seeds (TAVIRO_FUZZ_SMOKE_SECONDS, default 4),
#   so the targets cannot rot unnoticed;
# - in build/fuzz/fuzz_targets.txt, which scripts/fuzz.sh walks for long runs.
function(taviro_fuzz_target name)
  cmake_parse_arguments(F "" "MAX_LEN" "SOURCES;LIBS" ${ARGN})
  if(NOT F_MAX_LEN)
    set(F_MAX_LEN 4096)
  endif()
  add_executable(${name} ${F_SOURCES} ${F_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${name} ${TAVIRO_FUZZ_SEEDS}/${name})
  string(JOIN " " seedWords ${seeds})
  file(APPEND ${TAVIRO_FUZZ_LIST}
       "${name} ${CMAKE_CURRENT_BINARY_DIR}/${name} ${F_MAX_LEN} ${seedWords}\n")
  add_test(NAME fuzz_${name}
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/fuzz/run_fuzz.sh $<TARGET_FILE:${name}> smoke
                   ${F_MAX_LEN} ${CMAKE_BINARY_DIR}/smoke/${name} ${seeds})
  set_tests_properties(fuzz_${name} PROPERTIES FIXTURES_REQUIRED fuzz_seeds LABELS fuzz)
endfunction()
