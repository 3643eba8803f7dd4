# Bare-metal ARM (ARM926EJ-S, no FPU) with the distribution's arm-none-eabi toolchain and newlib-nano.
# Used with -DZEFO_BOARD=versatilepb; `make target` passes both.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
set(CMAKE_AR arm-none-eabi-ar CACHE FILEPATH "")
set(CMAKE_RANLIB arm-none-eabi-ranlib CACHE FILEPATH "")
set(CMAKE_OBJCOPY arm-none-eabi-objcopy CACHE FILEPATH "")
set(CMAKE_NM arm-none-eabi-nm CACHE FILEPATH "")
set(CMAKE_SIZE arm-none-eabi-size CACHE FILEPATH "")

# The compiler checks cannot link a program without a board: compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# ARM (not Thumb) code: the fills, blits and decoders run faster, the flash budget has room.
# Every function and object in its own section so that the link drops what nothing uses.
set(ZEFO_ARM_CPU_FLAGS "-mcpu=arm926ej-s -marm -mfloat-abi=soft")
set(CMAKE_C_FLAGS_INIT "${ZEFO_ARM_CPU_FLAGS} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT
    "${ZEFO_ARM_CPU_FLAGS} -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit")
set(CMAKE_ASM_FLAGS_INIT "${ZEFO_ARM_CPU_FLAGS}")
# newlib-nano; no start files: the board has its own reset handler and no heap.
set(CMAKE_EXE_LINKER_FLAGS_INIT "--specs=nano.specs -nostartfiles -Wl,--gc-sections")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
