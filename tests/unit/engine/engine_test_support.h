// Helpers of the Windows engine tests: the library bound by its export names,
// scratch folders and whole files.
#pragma once

#include <windows.h>

#include <string>

#include "qxcore.h"
#include "unique_resource.h"

namespace enginetest {

// Loads QXCore.dll afresh (a new engine state) and binds its exports.
class Core {
 public:
  Core();
  bool loaded() const { return module_.valid(); }
  HMODULE module() const { return module_.get(); }

  // Every export, typed by its declaration; null while the library lacks it.
#define QX_BIND_MEMBER(name) decltype(&::name) name = nullptr;
  QX_ENGINE_EXPORTS(QX_BIND_MEMBER)
#undef QX_BIND_MEMBER

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
