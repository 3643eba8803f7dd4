# The BMP decoder on damaged files, from memory and through a source of small windows.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
include(${CMAKE_CURRENT_LIST_DIR}/decoder_gfx.cmake)
add_executable(fuzz_bmp ${CMAKE_CURRENT_LIST_DIR}/fuzz_bmp.cpp)
target_link_libraries(fuzz_bmp PRIVATE fuzz_decoder_gfx)
target_compile_options(fuzz_bmp PRIVATE -fno-sanitize-recover=undefined)
target_link_options(fuzz_bmp PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_bmp PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
