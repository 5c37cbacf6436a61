#include "engine_test_support.h"

namespace enginetest {

namespace {

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

Core::Core() : module_(LoadLibraryW(L"QXCore.dll")) {
  if (!module_) return;
#define QX_BIND(name) Bind(module_.get(), #name, name);
  QX_ENGINE_EXPORTS(QX_BIND)
#undef QX_BIND
}

std::u16string Core::Eval(const wchar_t* text) const { return U(EvalVar(text)); }

std::u16string U(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::u16string U(const wchar_t* text) { return text ? U(std::wstring(text)) : u"(null)"; }

std::wstring WinePath(const char* linux_path) {
  std::wstring path = L"Z:" + FromUtf8(linux_path);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

std::string PackageFile(const char* name) {
  std::string bytes;
  ReadBytes(WinePath(QX_PACKAGE_DIR "/") + FromUtf8(name), bytes);
  return bytes;
}

void UseDeliverablesFolder() { SetDllDirectoryW(WinePath(QX_BIN_DIR).c_str()); }

bool RunSelfAsChild(const wchar_t* variable, const std::wstring& out, const std::wstring& arguments, DWORD wait_ms) {
  SetEnvironmentVariableW(variable, out.c_str());
  std::wstring command = L"\"" + SelfPath() + L"\"" + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(variable, nullptr);
  if (!started) return false;
  qx::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.get(), wait_ms) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
  return true;
}

}  // namespace enginetest
