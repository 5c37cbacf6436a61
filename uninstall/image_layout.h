// Where the launcher's own image ends in its file, read from the PE headers
// alone: the container is appended right there. Portable, so that both image
// formats are tested on any machine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx {

// The optional header's fixed size for each image format. The size the
// header records is not consulted.
inline constexpr size_t kPe32OptionalHeaderSize = 224;
inline constexpr size_t kPe32PlusOptionalHeaderSize = 240;
// This build's own image: PE32 for the 32-bit programs, PE32+ for the twin.
inline constexpr size_t kOwnOptionalHeaderSize =
    sizeof(void*) == 8 ? kPe32PlusOptionalHeaderSize : kPe32OptionalHeaderSize;

// Reads the PE headers in |head| (the first |size| bytes of the file, at most
// 4,096), whose section table follows an optional header of
// |optional_header_size| bytes, and sets |start| to the end of the raw data
// of the section with the highest raw-data offset. Fails on a missing "MZ" or
// "PE" signature, an image header at 3,848 or beyond, a section table that
// runs past |size|, or an end beyond 4 GiB.
bool FindContainerStart(const unsigned char* head, size_t size, size_t optional_header_size, uint32_t& start);

}  // namespace qx
