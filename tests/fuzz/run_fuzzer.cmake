# Runs a libFuzzer binary for SECONDS seconds on a fresh copy of the seed
# corpus and of the earlier findings (REGRESSIONS) in WORK_DIR, so that the
# source tree is never written; crash reproducers land in WORK_DIR/artifacts.
# Fails when the fuzzer does.
#
#   cmake -DFUZZER=... -DCORPUS=... -DREGRESSIONS=... -DDICT=... -DWORK_DIR=... -DSECONDS=...
#         -P run_fuzzer.cmake
# REGRESSIONS and DICT may be empty (no earlier findings, no dictionary).
foreach(var FUZZER CORPUS WORK_DIR SECONDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_fuzzer.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR}/corpus)
file(MAKE_DIRECTORY ${WORK_DIR}/corpus ${WORK_DIR}/artifacts)
set(seed_globs ${CORPUS}/*)
if(REGRESSIONS)
  list(APPEND seed_globs ${REGRESSIONS}/*)
endif()
file(GLOB seeds ${seed_globs})
file(COPY ${seeds} DESTINATION ${WORK_DIR}/corpus)
set(dict_option "")
if(DICT)
  set(dict_option -dict=${DICT})
endif()

# -close_fd_mask=1: the model builders print a line on standard output for
# "unique-bi-bi"; keep the fuzzer's own report on standard error readable.
execute_process(
  COMMAND ${FUZZER} ${WORK_DIR}/corpus
    ${dict_option}
    -max_total_time=${SECONDS}
    -timeout=10
    -rss_limit_mb=2048
    -malloc_limit_mb=256
    -close_fd_mask=1
    -print_final_stats=1
    -artifact_prefix=${WORK_DIR}/artifacts/
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "fuzz run failed (status ${status}); reproducers in ${WORK_DIR}/artifacts")
endif()
