// The installer side's file-properties table: loading "qxfprop.dat" and the
// CheckFileProp decision on a path buffer.
#pragma once

namespace qx::engine {

// Empties the table, then fills it from "%QXSFXPATH%\qxfprop.dat" and
// deletes that file. A file that cannot be opened leaves the table empty.
void LoadFilePropertyTable();

// Looks the path in |buffer| up by its place under DESTPATH: 0 skip, 1 as
// usual, 2 redirected, with |buffer| (|size| bytes, like EvalVarBuf) then
// holding the new path. A new path that does not fit leaves the buffer as it
// was and gives 1, since a cut path would name the wrong file.
int CheckFileProperty(wchar_t* buffer, int size);

}  // namespace qx::engine
