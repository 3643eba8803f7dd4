# Mounting and using damaged card images.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
add_executable(fuzz_mount ${CMAKE_CURRENT_LIST_DIR}/fuzz_mount.cpp ${zefo_root}/fat/fat.cpp)
target_include_directories(fuzz_mount PRIVATE ${zefo_root})
target_link_options(fuzz_mount PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_mount PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
