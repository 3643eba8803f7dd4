# The line path from the wire to the reply, on the simulated board with the real firmware.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
add_executable(fuzz_line ${CMAKE_CURRENT_LIST_DIR}/fuzz_line.cpp ${zefo_root}/config/wvga1.cpp)
target_link_libraries(fuzz_line PRIVATE zefo_host zefo_fw)
target_link_options(fuzz_line PRIVATE -fsanitize=fuzzer -Wl,-T,${ZEFO_FW_SECTIONS_LD})
set_target_properties(fuzz_line PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
