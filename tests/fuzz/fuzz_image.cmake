# Damaged resource images: conversion, every look-up, drawing every bitmap, listing, and running
# the macros of the image through the executor.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
file(GLOB fuzz_image_sources CONFIGURE_DEPENDS ${zefo_root}/gfx/*.cpp ${zefo_root}/gfx/fonts/*.cpp
     ${zefo_root}/macro/*.cpp)
add_executable(fuzz_image ${CMAKE_CURRENT_LIST_DIR}/fuzz_image.cpp ${fuzz_image_sources}
               ${zefo_root}/resource/resource.cpp ${zefo_root}/resource/bitmap.cpp
               ${zefo_root}/app/cmd_resource.cpp ${zefo_root}/base/parse.cpp ${zefo_root}/base/crc.cpp
               ${zefo_root}/config/wvga1.cpp ${zefo_root}/tests/support/screen.cpp
               ${zefo_root}/tests/support/console.cpp)
target_include_directories(fuzz_image PRIVATE ${zefo_root})
target_link_libraries(fuzz_image PRIVATE zefo_board)
target_link_options(fuzz_image PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_image PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
