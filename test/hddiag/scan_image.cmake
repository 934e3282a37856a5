# hddiag scan --disk IMAGE end to end (hddiag.exe under Wine reads the image
# through its own seam; the native build through the Linux machine): a
# clean 1 MiB image is read whole, its map says so and a rerun resumes it.
#   cmake -DHDDIAG=<program and emulator> -DWORK=<folder> -P scan_image.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
string(REPEAT "0123456789abcdef" 65536 bytes)
file(WRITE "${WORK}/disk.img" "${bytes}")
foreach(pass first again)
  execute_process(COMMAND ${HDDIAG} --disk disk.img --json scan 0 --map disk.map --bad-blocks bad.txt
                  WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc STREQUAL "0")
    message(FATAL_ERROR "${pass} run: exit status ${rc}\n--- stdout\n${out}\n--- stderr\n${err}")
  endif()
  if(NOT out MATCHES "\"sectors_read\": 2048,")
    message(FATAL_ERROR "${pass} run: not every sector read:\n${out}")
  endif()
endforeach()
if(NOT out MATCHES "\"reads\": 0,")
  message(FATAL_ERROR "the rerun read again what its map says is read:\n${out}")
endif()
file(READ "${WORK}/disk.map" map)
if(NOT map MATCHES "\n0x00000000  0x00100000  \\+\n")
  message(FATAL_ERROR "the map does not say the image was read:\n${map}")
endif()
file(READ "${WORK}/bad.txt" bad)
if(NOT bad STREQUAL "")
  message(FATAL_ERROR "bad blocks on a clean image:\n${bad}")
endif()
