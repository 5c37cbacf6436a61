// race_copy race MS: for MS milliseconds (or until killed), tries again and
// again to put itself in place of every temporary copy that appears in a new
// "qxu" + 8 hexadecimal digits folder of the temporary folder, as a user's
// own program could: writing over the copy, renaming it away, or renaming its
// folder away, each followed by its own image at the copy's path. Prints
// "racing" once it has looked at what is there before.
// Started any other way, it is a copy that was replaced: it leaves
// "qx_race_ran.txt" in the temporary folder and ends.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "common/unique_resource.h"

namespace {

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp, length > 0 && length < MAX_PATH ? length : 0);
}

// The names that |pattern| lists, folders or files.
std::vector<std::wstring> Listed(const std::wstring& pattern, bool folders) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  qx::UniqueFind listing(FindFirstFileW(pattern.c_str(), &entry));
  if (!listing) return names;
  do {
    if (((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders) names.push_back(entry.cFileName);
  } while (FindNextFileW(listing.get(), &entry));
  return names;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring temp = TempFolder();
  if (argc != 3 || std::wcscmp(argv[1], L"race") != 0) {
    qx::UniqueFile ran(CreateFileW((temp + L"qx_race_ran.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   0, nullptr));
    return 0;
  }
  wchar_t self[MAX_PATH];
  if (!GetModuleFileNameW(nullptr, self, MAX_PATH)) return 1;
  std::set<std::wstring> before;
  for (const std::wstring& name : Listed(temp + L"qxu*", true)) before.insert(name);
  std::puts("racing");
  std::fflush(stdout);
  const ULONGLONG deadline = GetTickCount64() + std::wcstoul(argv[2], nullptr, 10);
  while (GetTickCount64() < deadline) {
    for (const std::wstring& name : Listed(temp + L"qxu*", true)) {
      if (name.size() != 11 || before.count(name)) continue;
      const std::wstring folder = temp + name;
      for (const std::wstring& file : Listed(folder + L"\\qxu*.tmp", false)) {
        const std::wstring copy = folder + L"\\" + file;
        CopyFileW(self, copy.c_str(), FALSE);
        if (MoveFileExW(copy.c_str(), (copy + L".old").c_str(), 0)) CopyFileW(self, copy.c_str(), TRUE);
        if (MoveFileExW(folder.c_str(), (temp + L"away-" + name).c_str(), 0) && CreateDirectoryW(folder.c_str(), nullptr))
          CopyFileW(self, copy.c_str(), TRUE);
      }
    }
  }
  return 0;
}
