# Cross toolchain for the S3C44B0X's ARM7TDMI (ARMv4T, ARM state), Debian's
# arm-none-eabi-gcc with newlib.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(ARM_CPU_FLAGS "-mcpu=arm7tdmi -marm -mfloat-abi=soft")
set(CMAKE_C_FLAGS_INIT "${ARM_CPU_FLAGS} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "${ARM_CPU_FLAGS} -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit")
set(CMAKE_ASM_FLAGS_INIT "${ARM_CPU_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${ARM_CPU_FLAGS} -nostartfiles -Wl,--gc-sections")
set(CMAKE_EXECUTABLE_SUFFIX .elf)
