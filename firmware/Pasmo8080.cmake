# Script mode: assembles one 8080 source with pasmo and fails on anything
# that is not 8080 code. pasmo speaks Z80 mnemonics; with --w8080 it warns
# on every instruction the 8080 lacks, and here every warning is an error.
# -DPASMO=exe -DSOURCE=x.asm -DOUTPUT=x.bin [-DINCLUDE=dir] [-DSIZE=bytes]
set(_args --w8080 --err)
if(INCLUDE)
  list(APPEND _args -I "${INCLUDE}")
endif()
file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND "${PASMO}" ${_args} "${SOURCE}" "${OUTPUT}.tmp"
  RESULT_VARIABLE _rc
  OUTPUT_VARIABLE _out
  ERROR_VARIABLE _err)
set(_all "${_out}${_err}")
if(NOT _rc EQUAL 0 OR _all MATCHES "WARNING|ERROR")
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "pasmo (8080 mode) refused ${SOURCE}:\n${_all}")
endif()
if(SIZE)
  file(SIZE "${OUTPUT}.tmp" _size)
  if(NOT _size EQUAL SIZE)
    file(REMOVE "${OUTPUT}.tmp")
    message(FATAL_ERROR "${SOURCE} assembled to ${_size} bytes, ${SIZE} expected")
  endif()
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
