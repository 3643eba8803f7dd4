# Variable expansion, arithmetic and the register commands on any line, with any macro arguments.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
# On the test board, with the macro tests' surroundings (tests/support/macro_env.h).
file(GLOB fuzz_expand_sources CONFIGURE_DEPENDS ${zefo_root}/macro/*.cpp ${zefo_root}/gfx/*.cpp ${zefo_root}/gfx/fonts/*.cpp)
add_executable(fuzz_expand ${CMAKE_CURRENT_LIST_DIR}/fuzz_expand.cpp ${fuzz_expand_sources}
               ${zefo_root}/resource/resource.cpp ${zefo_root}/base/parse.cpp ${zefo_root}/base/config_block.cpp
               ${zefo_root}/settings/settings.cpp ${zefo_root}/config/wvga1.cpp
               ${zefo_root}/tests/support/macro_env.cpp ${zefo_root}/tests/support/screen.cpp
               ${zefo_root}/tests/support/console.cpp ${zefo_root}/tests/support/standin_serial.cpp
               ${zefo_root}/tests/support/standin_interpreter.cpp ${zefo_root}/tests/support/standin_touch.cpp)
target_include_directories(fuzz_expand PRIVATE ${zefo_root})
target_link_libraries(fuzz_expand PRIVATE zefo_pack_lib test_board_firmware)
# Undefined behaviour stops the run like a crash.
target_compile_options(fuzz_expand PRIVATE -fno-sanitize-recover=undefined)
target_link_options(fuzz_expand PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_expand PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
