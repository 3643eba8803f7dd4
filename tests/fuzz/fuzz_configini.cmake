# "config.ini" read at start-up by the configuration store, on the test board as the storage tests run it.
get_filename_component(zefo_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
add_executable(fuzz_configini ${CMAKE_CURRENT_LIST_DIR}/fuzz_configini.cpp
  ${zefo_root}/fat/fat.cpp
  ${zefo_root}/sdcard/sdcard.cpp
  ${zefo_root}/sdcard/cmd_sdcard.cpp
  ${zefo_root}/settings/settings.cpp
  ${zefo_root}/settings/ini.cpp
  ${zefo_root}/settings/cmd_settings.cpp
  ${zefo_root}/app/config_file.cpp
  ${zefo_root}/app/cmd_card.cpp
  ${zefo_root}/base/parse.cpp
  ${zefo_root}/base/config_block.cpp
  ${zefo_root}/tests/storage/storage_board.cpp
  ${zefo_root}/tests/support/console.cpp
  ${zefo_root}/tests/support/standin_serial.cpp
  ${zefo_root}/tests/support/standin_screen.cpp
  ${zefo_root}/tests/support/standin_macro.cpp
  ${zefo_root}/config/wvga1.cpp)
target_include_directories(fuzz_configini PRIVATE ${zefo_root})
target_link_libraries(fuzz_configini PRIVATE test_board_firmware)
target_link_options(fuzz_configini PRIVATE -fsanitize=fuzzer)
set_target_properties(fuzz_configini PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
