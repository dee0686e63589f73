# Runs a fuzzer of fuzz/CMakeLists.txt on a copy of its seed corpus, so that the inputs it
# finds stay in the build tree: RUNS=0 executes the seeds only, RUNS=n then n more inputs from
# seed 1. A crash, a leak, an input slower than 10 s or memory beyond 2 GB fails the test;
# what caused it is left in WORK/artifacts/.
#   cmake -DFUZZER=... -DCORPUS=... -DWORK=... -DRUNS=... -P run_fuzz.cmake
foreach(var FUZZER CORPUS WORK RUNS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_fuzz.cmake needs -D${var}=...")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${CORPUS}/*)
if(NOT seeds)
  message(FATAL_ERROR "no seeds in ${CORPUS}")
endif()
file(COPY ${seeds} DESTINATION ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -seed=1 -runs=${RUNS} -max_len=8192 -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); see ${WORK}/artifacts/")
endif()
