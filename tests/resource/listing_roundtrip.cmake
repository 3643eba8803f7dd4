# The image builder's listing of an image equals what the display lists once it loaded the image
# from the card: "ls", "lsbmp" and "lsmac" against `zefo5-pack list` with --bitmaps and --macros.
#   cmake -DSIM=zefo5 -DPACK=zefo5-pack -DCARD=card.img -DBIN=ZEFO5.BIN -DWORK=dir -P listing_roundtrip.cmake
file(MAKE_DIRECTORY ${WORK})
foreach(form "ls" "lsbmp" "lsmac")
  set(option "")
  if(form STREQUAL "lsbmp")
    set(option "--bitmaps")
  endif()
  file(WRITE ${WORK}/input "${form}\r")
  execute_process(COMMAND ${SIM} --clock virtual --max-ms 20000 --sd ${CARD} INPUT_FILE ${WORK}/input
                  OUTPUT_VARIABLE display RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the simulator ended with ${rc}")
  endif()
  if(form STREQUAL "lsmac")
    execute_process(COMMAND ${PACK} list ${BIN} --macros OUTPUT_VARIABLE tool RESULT_VARIABLE rc)
    # The macro listing follows the record table in the tool's output.
    string(FIND "${tool}" "Macro Definitions\n  #" at)
    string(SUBSTRING "${tool}" ${at} -1 tool)
  else()
    execute_process(COMMAND ${PACK} list ${BIN} ${option} OUTPUT_VARIABLE tool RESULT_VARIABLE rc)
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "zefo5-pack list failed")
  endif()
  string(REPLACE "\n" "\r" tool "${tool}")
  # The display's output: the loading line and the first prompt, the listing, the prompt.
  string(REGEX REPLACE "^:loading [0-9]+KB bitmap/macro file from SD card\r>\r" "" display "${display}")
  string(REGEX REPLACE ">\r$" "" display "${display}")
  if(NOT display STREQUAL tool)
    message(FATAL_ERROR "${form} differs from the builder's listing\ndisplay:\n${display}\nbuilder:\n${tool}")
  endif()
endforeach()
