// Helpers of the Windows engine tests: the library bound by its export names,
// scratch folders and whole files.
#pragma once

#include <windows.h>

#include <string>

#include "unique_resource.h"

namespace enginetest {

// Loads QXCore.dll afresh (a new engine state) and binds its exports.
class Core {
 public:
  Core();
  bool loaded() const { return module_.valid(); }
  HMODULE module() const { return module_.get(); }

  int (WINAPI* InitSFX)(HMODULE) = nullptr;
  int (WINAPI* SetVar)(const wchar_t*, const wchar_t*) = nullptr;
  const wchar_t* (WINAPI* EvalVar)(const wchar_t*) = nullptr;
  int (WINAPI* EvalVarBuf)(const wchar_t*, wchar_t*, int) = nullptr;
  int (WINAPI* ReplaceVarInFile)(const wchar_t*, const wchar_t*, int) = nullptr;
  const wchar_t* (WINAPI* GetSpecialDirectory)(int) = nullptr;
  int (WINAPI* InitUninstall)() = nullptr;
  const wchar_t* (WINAPI* ParamStr)(int) = nullptr;
  const wchar_t* (WINAPI* QXFindString)(const wchar_t*, const wchar_t*, int, int) = nullptr;
  const wchar_t* (WINAPI* QXStringReplace)(const wchar_t*, const wchar_t*, const wchar_t*) = nullptr;
  int (WINAPI* QXWriteDataToFile)(const wchar_t*, const wchar_t*, int) = nullptr;
  int (WINAPI* QXGetFileInfo)(const wchar_t*, int, const wchar_t*) = nullptr;
  int (WINAPI* ExecuteProgram)(const wchar_t*, const wchar_t*, const wchar_t*, int, int, const wchar_t*) = nullptr;
  int (WINAPI* CheckFileProp)(wchar_t*, int) = nullptr;

  // EvalVar's result, copied.
  std::u16string Eval(const wchar_t* text) const;

 private:
  qx::UniqueModule module_;
};

// A fresh folder under the temporary folder, removed with everything in it.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring file(const wchar_t* name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

std::u16string U(const std::wstring& text);
std::u16string U(const wchar_t* text);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool ReadBytes(const std::wstring& path, std::string& bytes);
bool FileExists(const std::wstring& path);
std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// The package's own language table, as it is shipped.
std::string PackageLanguageTable();
// Makes QXCore.dll load from the deliverables folder.
void UseDeliverablesFolder();
// This test program's own path.
std::wstring SelfPath();

}  // namespace enginetest
