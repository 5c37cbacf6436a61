// Cost of one expansion through QXCore.dll: "#UninstallPrompt" and a
// 200-character text with five references, with the package's language table
// and 50 variables loaded, against a plain copy and the platform's own
// environment-string expansion of comparable texts, all in the same run.
//
//   expansion_bench.exe <folder of QXCore.dll> <path of qxlng.dat>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kCalls = 100000;

using InitSfxFn = int(WINAPI*)(HMODULE);
using SetVarFn = int(WINAPI*)(const wchar_t*, const wchar_t*);
using EvalVarFn = const wchar_t*(WINAPI*)(const wchar_t*);

template <typename Fn>
Fn Bind(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename Body>
double MicrosecondsPerCall(Body body) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < kCalls; ++i) body();
  QueryPerformanceCounter(&end);
  return double(end.QuadPart - start.QuadPart) * 1e6 / double(frequency.QuadPart) / kCalls;
}

std::wstring PadTo200(std::wstring text) {
  while (text.size() < 200) text += L" padding";
  text.resize(200);
  return text;
}

bool CopyFileTo(const wchar_t* from, const std::wstring& to) { return CopyFileW(from, to.c_str(), FALSE) != 0; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: expansion_bench <dll folder> <qxlng.dat>\n");
    return 2;
  }
  SetDllDirectoryW(argv[1]);
  HMODULE core = LoadLibraryW(L"QXCore.dll");
  if (!core) {
    std::fprintf(stderr, "QXCore.dll not loaded (%lu)\n", GetLastError());
    return 1;
  }
  auto initSfx = Bind<InitSfxFn>(core, "InitSFX");
  auto setVar = Bind<SetVarFn>(core, "SetVar");
  auto evalVar = Bind<EvalVarFn>(core, "EvalVar");

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring runtime = std::wstring(temp) + L"qxbench" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(runtime.c_str(), nullptr);
  if (!CopyFileTo(argv[2], runtime + L"\\qxlng.dat")) {
    std::fprintf(stderr, "cannot copy the language table\n");
    return 1;
  }
  setVar(L"APPTITLE", L"Orvella");
  setVar(L"ARCNAME", L"C:\\Program Files\\Orvella\\uninstall.exe");
  setVar(L"QXSFXPATH", runtime.c_str());
  initSfx(GetModuleHandleW(nullptr));
  RemoveDirectoryW(runtime.c_str());
  for (int i = 1; i <= 50; ++i) {
    std::wstring n = std::to_wstring(i);
    setVar((L"USERVAR" + n).c_str(), (L"value number " + n).c_str());
  }

  const std::wstring text = PadTo200(
      L"Removing %APPTITLE% from %DESTPATH% (%USERVAR17%, %USERVAR50%) started by %PARAM%: #Cancel stops it;");
  const std::wstring envText = PadTo200(
      L"Removing %QXB1% from %QXB2% (%QXB3%, %QXB4%) started by %QXB5%: Cancel stops it;");
  setVar(L"DESTPATH", L"C:\\Program Files\\Orvella");
  for (int i = 1; i <= 5; ++i)
    SetEnvironmentVariableW((L"QXB" + std::to_wstring(i)).c_str(), (L"value number " + std::to_wstring(i)).c_str());

  volatile wchar_t sink = 0;
  wchar_t buffer[1024];
  const double prompt = MicrosecondsPerCall([&] { sink = evalVar(L"#UninstallPrompt")[0]; });
  const double mixed = MicrosecondsPerCall([&] { sink = evalVar(text.c_str())[0]; });
  const double copy = MicrosecondsPerCall([&] {
    lstrcpyW(buffer, text.c_str());
    sink = buffer[0];
  });
  const double environment = MicrosecondsPerCall([&] {
    ExpandEnvironmentStringsW(envText.c_str(), buffer, 1024);
    sink = buffer[0];
  });
  (void)sink;

  std::printf("expansion: %d calls each, microseconds per call (target under 20)\n", kCalls);
  std::printf("  EvalVar \"#UninstallPrompt\"            %8.3f\n", prompt);
  std::printf("  EvalVar 200 characters, 5 references  %8.3f\n", mixed);
  std::printf("  reference: lstrcpyW of 200 characters %8.3f\n", copy);
  std::printf("  reference: ExpandEnvironmentStringsW  %8.3f  (200 characters, 5 references)\n", environment);
  std::printf("  result: %ls\n", evalVar(L"#UninstallPrompt"));
  FreeLibrary(core);
  return 0;
}
