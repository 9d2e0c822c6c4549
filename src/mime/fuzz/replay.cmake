# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the fuzz target once over every file in DIR (libFuzzer runs file
# arguments and exits), failing on the first crash.
file(GLOB inputs ${DIR}/*)
list(FILTER inputs EXCLUDE REGEX "README")
if(NOT inputs)
  message(STATUS "no saved fuzz findings to replay")
  return()
endif()
execute_process(COMMAND ${FUZZER} ${inputs} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzz target failed on a saved input (exit ${rc})")
endif()
