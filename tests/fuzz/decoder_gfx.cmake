# The graphics library on the simulated board's frame buffer, shared by the image decoder fuzz targets.
if(NOT TARGET fuzz_decoder_gfx)
  file(GLOB fuzz_decoder_sources CONFIGURE_DEPENDS ${zefo_root}/gfx/*.cpp ${zefo_root}/gfx/fonts/*.cpp)
  add_library(fuzz_decoder_gfx STATIC ${fuzz_decoder_sources} ${zefo_root}/config/wvga1.cpp)
  target_link_libraries(fuzz_decoder_gfx PUBLIC zefo_board)
  target_include_directories(fuzz_decoder_gfx PUBLIC ${zefo_root})
  target_compile_options(fuzz_decoder_gfx PRIVATE -fno-sanitize-recover=undefined)
endif()
