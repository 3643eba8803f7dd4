# The graphics library on a frame buffer in memory, shared by the image decoder fuzz targets.
if(NOT TARGET fuzz_decoder_gfx)
  file(GLOB fuzz_decoder_sources CONFIGURE_DEPENDS ${zefo_root}/gfx/*.cpp ${zefo_root}/gfx/fonts/*.cpp)
  add_library(fuzz_decoder_gfx STATIC ${fuzz_decoder_sources} ${zefo_root}/config/wvga1.cpp
              ${zefo_root}/tests/gfx/fake_board.cpp)
  target_include_directories(fuzz_decoder_gfx PUBLIC ${zefo_root})
  target_compile_options(fuzz_decoder_gfx PRIVATE -fno-sanitize-recover=undefined)
endif()
