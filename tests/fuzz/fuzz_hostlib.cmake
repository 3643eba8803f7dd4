# The C host library's reading of whatever a display (or a noisy line) sends.
add_executable(fuzz_hostlib ${CMAKE_CURRENT_LIST_DIR}/fuzz_hostlib.cpp)
target_link_libraries(fuzz_hostlib PRIVATE zefo5host)
target_compile_options(fuzz_hostlib PRIVATE -fno-sanitize-recover=undefined)
target_link_options(fuzz_hostlib PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_hostlib PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
