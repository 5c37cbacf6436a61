// The check that keeps archive entries inside the runtime folder.
#pragma once

namespace qx {

// True when |name|, appended to a folder path, names something inside that
// folder. Refused: a leading "\" or "/", any ":" (drive letters and streams),
// a component made only of dots and spaces with two or more dots (Windows
// reads "..", ". ." and "..." as the parent), and device names such as "CON"
// or "lpt1.txt", which open a device instead of a file.
bool IsContainedEntryName(const wchar_t* name);

}  // namespace qx
