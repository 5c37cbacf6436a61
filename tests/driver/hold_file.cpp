// hold_file PATH MS [delete]: keeps PATH open for MS milliseconds (or until
// killed), as a running program holds its files: without delete sharing, or
// with it ("delete": a virus scanner or the search indexer, whose file a
// delete only marks, its name staying until the handle closes).
// Prints "held" once the file is open; exit 1 when it cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "common/unique_resource.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && !(argc == 4 && std::wcscmp(argv[3], L"delete") == 0)) return 2;
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (argc == 4 ? FILE_SHARE_DELETE : 0);
  qx::UniqueFile file(CreateFileW(argv[1], GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return 1;
  std::puts("held");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  return 0;
}
