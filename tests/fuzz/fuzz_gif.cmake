# The GIF decoder on damaged files, from memory and through a source of small windows.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
include(${CMAKE_CURRENT_LIST_DIR}/decoder_gfx.cmake)
add_executable(fuzz_gif ${CMAKE_CURRENT_LIST_DIR}/fuzz_gif.cpp)
target_link_libraries(fuzz_gif PRIVATE fuzz_decoder_gfx)
target_compile_options(fuzz_gif PRIVATE -fno-sanitize-recover=undefined)
target_link_options(fuzz_gif PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_gif PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
