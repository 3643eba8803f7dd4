# The upload line decoder of "xmp": every line a host may send, with the decoder's promises checked.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
add_executable(fuzz_xmp ${CMAKE_CURRENT_LIST_DIR}/fuzz_xmp.cpp ${zefo_root}/resource/xmp_line.cpp)
target_include_directories(fuzz_xmp PRIVATE ${zefo_root})
target_link_options(fuzz_xmp PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_xmp PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
