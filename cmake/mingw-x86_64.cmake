# Cross build of the 64-bit twin with mingw-w64: the same sources, for
# machines that run no 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QX_TRIPLET x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
