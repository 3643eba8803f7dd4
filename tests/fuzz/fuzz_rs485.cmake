# The line path in RS485 mode (frames, addresses, discovery, polls) on the simulated board.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
add_executable(fuzz_rs485 ${CMAKE_CURRENT_LIST_DIR}/fuzz_rs485.cpp ${zefo_root}/config/wvga1.cpp)
target_link_libraries(fuzz_rs485 PRIVATE zefo_host zefo_fw)
target_link_options(fuzz_rs485 PRIVATE -fsanitize=fuzzer -Wl,-T,${ZEFO_FW_SECTIONS_LD})
set_target_properties(fuzz_rs485 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
