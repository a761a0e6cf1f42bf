# Cross build for 64-bit Arm (./kv cross-test): Debian's cross compiler, the
# arm64 libraries from multiarch (dpkg --add-architecture arm64), and the tests
# run through qemu-user, since binfmt is not registered on every machine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Multiarch keeps arm64 libraries and their CMake and pkg-config files under
# /usr/lib/aarch64-linux-gnu; the headers are shared.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# The programs run on multiarch's arm64 C library (libc6:arm64, which the arm64
# libraries need anyway), loader included: "-L /" takes both from the root.
# The cross compiler's own copy under /usr/aarch64-linux-gnu is another build
# of glibc; its loader with multiarch's libc.so.6 (which the loader finds
# first) hangs in the first pthread_create.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
