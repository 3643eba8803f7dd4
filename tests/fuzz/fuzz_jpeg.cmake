# The JPEG decoder on damaged files, from memory and through a source of small windows.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
include(${CMAKE_CURRENT_LIST_DIR}/decoder_gfx.cmake)
add_executable(fuzz_jpeg ${CMAKE_CURRENT_LIST_DIR}/fuzz_jpeg.cpp)
target_link_libraries(fuzz_jpeg PRIVATE fuzz_decoder_gfx)
target_compile_options(fuzz_jpeg PRIVATE -fno-sanitize-recover=undefined)
target_link_options(fuzz_jpeg PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_jpeg PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
