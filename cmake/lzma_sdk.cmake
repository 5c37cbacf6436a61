# The LZMA SDK's 7z reader, LZMA and BCJ2 decoders and CRC-32, built from the
# sources that scripts/setup.sh fetched (never committed).
if(NOT EXISTS "${QX_SDK_DIR}/C/7zArcIn.c")
  message(FATAL_ERROR "LZMA SDK not found under '${QX_SDK_DIR}': run scripts/setup.sh")
endif()
set(_c "${QX_SDK_DIR}/C")
add_library(lzma_sdk STATIC
  ${_c}/7zAlloc.c ${_c}/7zArcIn.c ${_c}/7zBuf.c ${_c}/7zCrc.c ${_c}/7zCrcOpt.c
  ${_c}/7zDec.c ${_c}/7zFile.c ${_c}/7zStream.c ${_c}/Bcj2.c ${_c}/Bra.c
  ${_c}/Bra86.c ${_c}/BraIA64.c ${_c}/CpuArch.c ${_c}/Delta.c ${_c}/Lzma2Dec.c
  ${_c}/LzmaDec.c)
target_include_directories(lzma_sdk SYSTEM PUBLIC "${_c}")
# The SDK's own code is not ours to warn about.
target_compile_options(lzma_sdk PRIVATE -w ${QX_UNWIND_TABLES} -Os)
