// Helpers of the Windows engine tests: the library bound by its export names,
// and the package's files; the general helpers come from test_support.h.
#pragma once

#include <windows.h>

#include <string>

#include "engine/include/qxcore.h"
#include "test_support.h"
#include "common/unique_resource.h"

namespace enginetest {

using namespace qxtest;

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

std::u16string U(const std::wstring& text);
std::u16string U(const wchar_t* text);
// A Linux path of the source tree or the build, as seen through Wine's Z: drive.
std::wstring WinePath(const char* linux_path);
// One of the package's own data files, as it is shipped.
std::string PackageFile(const char* name);
// Makes QXCore.dll load from the deliverables folder.
void UseDeliverablesFolder();

// Runs this program again as a child, with |arguments| after its name and
// the environment variable |variable| set to |out| (the child's sign to act
// as one, and where it reports). Waits up to |wait_ms|, ending a child that
// takes longer; false when it could not be started.
bool RunSelfAsChild(const wchar_t* variable, const std::wstring& out, const std::wstring& arguments, DWORD wait_ms);

}  // namespace enginetest
