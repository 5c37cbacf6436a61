// hold_file PATH MS: keeps PATH open without delete sharing for MS
// milliseconds (or until killed), as a running program holds its files.
// Prints "held" once the file is open; exit 1 when it cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "common/unique_resource.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  qx::UniqueFile file(
      CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return 1;
  std::puts("held");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  return 0;
}
