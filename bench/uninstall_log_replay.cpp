// The replay phases of an uninstall log that the installer-side exports wrote
// for 10,000 files in 20 folders, 2,000 registry values under 200 keys and
// 200 INI keys, each timed beside its reference in the same run: the file
// phase beside a bare DeleteFileW loop over the same files, the registry and
// INI phases beside NSIS uninstallers that delete the same values, keys and
// INI keys (less an empty NSIS uninstaller's run), the folder phase beside
// its 200 ms pause per folder. Then the entry collection of the file phase
// over a 100,000-entry log in memory.
//
//   uninstall_log_replay.exe /nsi <work folder>    writes the peers' scripts
//   uninstall_log_replay.exe <QXCore.dll folder> <work folder>   runs
//
// The same installation in a folder of its own, for the whole uninstallation
// (bench/whole_uninstall.py), with its INI keys in a file outside it:
//   /whole-install <folder> <ini> [<QXCore.dll folder> <runtime folder>]
//       creates it; with the engine, logs it as the package's installer does
//       and writes uninstall.exe and uninstall.log into <folder>
//   /whole-nsi <work folder> <folder> <ini>   writes the NSIS peer's script
//   /whole-left <folder> <ini>   prints how many of its parts are left
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/unique_resource.h"
#include "engine/include/qxcore.h"
#include "engine/core/text.h"
#include "engine/core/uninstall_log_format.h"

namespace {

constexpr int kFolders = 20, kFilesPerFolder = 500;
constexpr int kKeys = 200, kValuesPerKey = 10;
constexpr int kIniSections = 10, kIniKeysPerSection = 20;
constexpr int kCollectedEntries = 100000;
constexpr int kRounds = 3;
const wchar_t kKeyBase[] = L"Software\\qx_log_bench";
const char* const kPeers[] = {"empty", "files", "registry", "ini"};
const wchar_t kPackageTitle[] = L"Orvella_Installation";

std::wstring Number(int value, int digits) {
  std::wstring text = std::to_wstring(value);
  return std::wstring(digits > static_cast<int>(text.size()) ? digits - text.size() : 0, L'0') + text;
}

// Where the installation lies: its folder and its INI file.
struct Layout {
  std::wstring root, ini;
  Layout(std::wstring folder, std::wstring ini_file) : root(std::move(folder)), ini(std::move(ini_file)) {}
  std::wstring Folder(int f) const { return root + L"\\folder" + Number(f, 2); }
  std::wstring File(int f, int i) const { return Folder(f) + L"\\file" + Number(i, 3) + L".dat"; }
  std::wstring Key(int k) const { return std::wstring(kKeyBase) + L"\\key" + Number(k, 3); }
  std::wstring Value(int v) const { return L"value" + Number(v, 2); }
  std::wstring Ini() const { return ini; }
  std::wstring Section(int s) const { return L"Section" + Number(s, 2); }
  std::wstring IniKey(int k) const { return L"key" + Number(k, 2); }
};

// The replay's installation: a folder under the user's temporary folder.
Layout ReplayLayout() {
  wchar_t temp[MAX_PATH];
  std::wstring root(temp, GetTempPathW(MAX_PATH, temp));
  root += L"qx_log_bench";
  return Layout(root, root + L"\\settings.ini");
}

bool WriteText(const std::wstring& path, const std::string& text) {
  qx::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

void CreateFiles(const Layout& at) {
  for (int f = 0; f < kFolders; ++f) {
    CreateDirectoryW(at.Folder(f).c_str(), nullptr);
    for (int i = 0; i < kFilesPerFolder; ++i) WriteText(at.File(f, i), "installed file\r\n");
  }
}

void CreateRegistry(const Layout& at) {
  const DWORD data = 1;
  for (int k = 0; k < kKeys; ++k) {
    qx::UniqueKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, at.Key(k).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
      continue;
    for (int v = 0; v < kValuesPerKey; ++v)
      RegSetValueExW(key.get(), at.Value(v).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  }
}

void CreateIni(const Layout& at) {
  std::string text;
  for (int s = 0; s < kIniSections; ++s) {
    text += "[Section" + std::string(s < 10 ? "0" : "") + std::to_string(s) + "]\r\n";
    for (int k = 0; k < kIniKeysPerSection; ++k)
      text += "key" + std::string(k < 10 ? "0" : "") + std::to_string(k) + "=1\r\n";
  }
  WriteText(at.Ini(), text);
}

// What a phase left behind, for the record.
int Leftovers(const Layout& at) {
  int left = 0;
  for (int f = 0; f < kFolders; ++f) {
    left += GetFileAttributesW(at.Folder(f).c_str()) != INVALID_FILE_ATTRIBUTES;
    for (int i = 0; i < kFilesPerFolder; ++i) left += GetFileAttributesW(at.File(f, i).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  for (int k = 0; k < kKeys; ++k) {
    qx::UniqueKey key;
    left += RegOpenKeyExW(HKEY_CURRENT_USER, at.Key(k).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
  }
  wchar_t value[8];
  for (int s = 0; s < kIniSections; ++s)
    for (int k = 0; k < kIniKeysPerSection; ++k)
      left += GetPrivateProfileStringW(at.Section(s).c_str(), at.IniKey(k).c_str(), L"", value, 8, at.Ini().c_str()) > 0;
  return left;
}

class Stopwatch {
 public:
  Stopwatch() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  double Milliseconds() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart - start_.QuadPart) * 1000.0 / double(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_, start_;
};

double RunAndWait(std::wstring command) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  Stopwatch watch;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  const qx::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  return watch.Milliseconds();
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// An NSIS installer that only writes its uninstaller; the uninstaller
// deletes what |peer| names, as our phases do ("whole": everything, with the
// uninstaller itself and the folders, as our whole uninstallation does).
std::string PeerScript(const Layout& at, const std::string& peer) {
  std::string script = "Unicode true\nName \"Peer\"\nOutFile \"peer_" + peer + "_setup.exe\"\n" +
                       "RequestExecutionLevel user\nSilentInstall silent\n"
                       "Section\n  SetOutPath \"$INSTDIR\"\n  WriteUninstaller \"$INSTDIR\\uninst.exe\"\nSectionEnd\n"
                       "Section \"Uninstall\"\n";
  const bool whole = peer == "whole";
  if (whole || peer == "files") {
    for (int f = 0; f < kFolders; ++f)
      for (int i = 0; i < kFilesPerFolder; ++i) script += "  Delete \"" + Narrow(at.File(f, i)) + "\"\n";
  }
  if (whole) {
    script += "  Delete \"" + Narrow(at.root) + "\\uninst.exe\"\n";
    for (int f = 0; f < kFolders; ++f) script += "  RMDir \"" + Narrow(at.Folder(f)) + "\"\n";
    script += "  RMDir \"" + Narrow(at.root) + "\"\n";
  }
  if (whole || peer == "registry") {
    for (int k = 0; k < kKeys; ++k)
      for (int v = 0; v < kValuesPerKey; ++v)
        script += "  DeleteRegValue HKCU \"" + Narrow(at.Key(k)) + "\" \"" + Narrow(at.Value(v)) + "\"\n";
    for (int k = 0; k < kKeys; ++k) script += "  DeleteRegKey /ifempty HKCU \"" + Narrow(at.Key(k)) + "\"\n";
  }
  if (whole || peer == "ini") {
    for (int s = 0; s < kIniSections; ++s)
      for (int k = 0; k < kIniKeysPerSection; ++k)
        script += "  DeleteINIStr \"" + Narrow(at.Ini()) + "\" \"" + Narrow(at.Section(s)) + "\" \"" +
                  Narrow(at.IniKey(k)) + "\"\n";
  }
  return script + "SectionEnd\n";
}

// Bytes in memory, counting the reads that the collection asks for.
class CountingSource : public qx::core::ByteSource {
 public:
  explicit CountingSource(const std::string& bytes) : bytes_(bytes) {}
  bool Rewind() override {
    at_ = 0;
    return true;
  }
  size_t Read(char* buffer, size_t size) override {
    ++reads;
    const size_t n = size < bytes_.size() - at_ ? size : bytes_.size() - at_;
    bytes_.copy(buffer, n, at_);
    at_ += n;
    return n;
  }
  int reads = 0;

 private:
  const std::string& bytes_;
  size_t at_ = 0;
};

void MeasureCollection() {
  std::string log = qx::core::LogHeaderLines(u"Orvella", 1033, u"C:\\Program Files\\Orvella");
  std::vector<qx::core::Text> paths;
  for (int i = 0; i < kCollectedEntries; ++i) {
    paths.push_back(u"C:\\Program Files\\Orvella\\folder" + qx::core::DecimalText(i % 200) + u"\\file" +
                    qx::core::DecimalText(100000 + i) + u".dat");
    log += qx::core::LogEntryLines(i % 50 == 0 ? qx::core::kLogSharedFile : qx::core::kLogFile, paths.back());
  }
  CountingSource source(log);
  qx::core::BufferedLineReader reader(source);
  qx::core::EntrySet entries;
  Stopwatch collect;
  qx::core::CollectLogEntries(reader, qx::core::kLogFile, entries);
  const double collected = collect.Milliseconds();
  qx::core::EntrySet set;
  Stopwatch insert;
  for (const qx::core::Text& path : paths) set.Set(path, qx::core::EntryCode::kPlain);
  for (const qx::core::Text& path : paths) set.Find(path);
  const double inserted = insert.Milliseconds();
  std::printf("collection, %d entries (%.1f MB): %8.1f ms for 3 passes, %d reads of up to 1 MiB (%d a pass)\n",
              kCollectedEntries, log.size() / 1048576.0, collected, source.reads, source.reads / 3);
  std::printf("EntrySet, %d keys in 512 buckets: %8.1f ms to add them and look each up once (%zu kept)\n",
              kCollectedEntries, inserted, entries.size());
}

int WritePeerScripts(const std::wstring& work) {
  const Layout at = ReplayLayout();
  for (const char* peer : kPeers) {
    const std::wstring name = work + L"\\peer_" + std::wstring(peer, peer + strlen(peer)) + L".nsi";
    if (!WriteText(name, PeerScript(at, peer))) return 1;
  }
  return 0;
}

template <typename Fn>
Fn Bind(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Every folder, file, registry key and value and INI key of |at|, in the
// order an installer creates them.
void LogInstallation(decltype(&AddUninstLog) add, const Layout& at) {
  for (int f = 0; f < kFolders; ++f) {
    add(1, at.Folder(f).c_str());
    for (int i = 0; i < kFilesPerFolder; ++i) add(0, at.File(f, i).c_str());
  }
  for (int k = 0; k < kKeys; ++k) {
    add(2, (L"HKEY_CURRENT_USER\\" + at.Key(k)).c_str());
    for (int v = 0; v < kValuesPerKey; ++v)
      add(3, (L"\"HKEY_CURRENT_USER\\" + at.Key(k) + L"\" " + at.Value(v)).c_str());
  }
  for (int s = 0; s < kIniSections; ++s)
    for (int k = 0; k < kIniKeysPerSection; ++k)
      add(6, (L"\"" + at.Ini() + L"\" " + at.Section(s) + L" " + at.IniKey(k)).c_str());
}

// The installation in its own folder; with |dll_folder|, logged through the
// engine the way the package's installer does it, which also copies
// "qxremove.dat" from |runtime| to uninstall.exe and writes uninstall.log.
int WholeInstall(const Layout& at, const wchar_t* dll_folder, const wchar_t* runtime) {
  if (!CreateDirectoryW(at.root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return 1;
  CreateFiles(at);
  CreateRegistry(at);
  CreateIni(at);
  if (!dll_folder) return 0;
  SetDllDirectoryW(dll_folder);
  const qx::UniqueModule core(LoadLibraryW(L"QXCore.dll"));
  if (!core) return 1;
  auto set_var = Bind<decltype(&SetVar)>(core.get(), "SetVar");
  auto init_sfx = Bind<decltype(&InitSFX)>(core.get(), "InitSFX");
  auto manage = Bind<decltype(&ManageUninstLog)>(core.get(), "ManageUninstLog");
  auto add = Bind<decltype(&AddUninstLog)>(core.get(), "AddUninstLog");
  set_var(L"APPTITLE", kPackageTitle);
  set_var(L"QXSFXPATH", runtime);
  init_sfx(GetModuleHandleW(nullptr));
  set_var(L"DESTPATH", at.root.c_str());
  set_var(L"UNINSTFNAME", (at.root + L"\\uninstall.exe").c_str());
  if (manage(0) != 0) return 1;
  add(1, at.root.c_str());
  LogInstallation(add, at);
  const int finished = manage(1);
  if (finished != 0) std::fprintf(stderr, "finishing the log: %d\n", finished);
  return finished == 0 ? 0 : 1;
}

// The installation's parts still present, its folder and uninstallers included.
int WholeLeft(const Layout& at) {
  int left = Leftovers(at) + (GetFileAttributesW(at.root.c_str()) != INVALID_FILE_ATTRIBUTES);
  for (const wchar_t* name : {L"\\uninstall.exe", L"\\uninstall.log", L"\\uninst.exe"})
    left += GetFileAttributesW((at.root + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  return left;
}

int g_deleted = 0;
int WINAPI CountDeleted(int, const wchar_t*, int deleted) {
  g_deleted += deleted != 0;
  return 0;
}

double Ratio(double a, double b) { return b > 0 ? a / b : 0; }

// The middle of |rounds| runs of |body| (each preceded by |prepare|, not
// timed): the machine is shared, and one slow run says little.
template <typename Prepare, typename Body>
double Median(int rounds, Prepare prepare, Body body) {
  std::vector<double> times;
  for (int r = 0; r < rounds; ++r) {
    prepare();
    Stopwatch watch;
    body();
    times.push_back(watch.Milliseconds());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void DeleteFilesBare(const Layout& at) {
  for (int f = 0; f < kFolders; ++f)
    for (int i = 0; i < kFilesPerFolder; ++i) DeleteFileW(at.File(f, i).c_str());
}

void DeleteRegistryBare(const Layout& at) {
  for (int k = 0; k < kKeys; ++k) {
    qx::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, at.Key(k).c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) continue;
    for (int v = 0; v < kValuesPerKey; ++v) RegDeleteValueW(key.get(), at.Value(v).c_str());
  }
  for (int k = 0; k < kKeys; ++k) RegDeleteKeyW(HKEY_CURRENT_USER, at.Key(k).c_str());
}

void DeleteIniBare(const Layout& at) {
  for (int s = 0; s < kIniSections; ++s)
    for (int k = 0; k < kIniKeysPerSection; ++k)
      WritePrivateProfileStringW(at.Section(s).c_str(), at.IniKey(k).c_str(), nullptr, at.Ini().c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (argc == 3 && mode == L"/nsi") return WritePeerScripts(argv[2]);
  if ((argc == 4 || argc == 6) && mode == L"/whole-install")
    return WholeInstall(Layout(argv[2], argv[3]), argc == 6 ? argv[4] : nullptr, argc == 6 ? argv[5] : nullptr);
  if (argc == 5 && mode == L"/whole-nsi")
    return WriteText(std::wstring(argv[2]) + L"\\peer_whole.nsi", PeerScript(Layout(argv[3], argv[4]), "whole")) ? 0 : 1;
  if (argc == 4 && mode == L"/whole-left") {
    std::printf("left %d\n", WholeLeft(Layout(argv[2], argv[3])));
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: uninstall_log_replay (/nsi <work> | <dll folder> <work> | /whole-...)\n");
    return 2;
  }
  const std::wstring work = argv[2];
  SetDllDirectoryW(argv[1]);
  const qx::UniqueModule core(LoadLibraryW(L"QXCore.dll"));
  if (!core) return 1;
  auto set_var = Bind<decltype(&SetVar)>(core.get(), "SetVar");
  auto manage = Bind<decltype(&ManageUninstLog)>(core.get(), "ManageUninstLog");
  auto add = Bind<decltype(&AddUninstLog)>(core.get(), "AddUninstLog");
  auto perform = Bind<decltype(&PerformUninstall)>(core.get(), "PerformUninstall");

  const Layout at = ReplayLayout();
  CreateDirectoryW(at.root.c_str(), nullptr);
  set_var(L"TMP", at.root.c_str());
  set_var(L"APPTITLE", L"Orvella");
  set_var(L"DESTPATH", at.root.c_str());
  Stopwatch logging;
  manage(0);
  LogInstallation(add, at);
  const double logged = logging.Milliseconds();

  // Each phase is replayed on a fresh installation, alternating with its
  // in-process reference; the log stays open throughout.
  auto files = [&] { CreateFiles(at); };
  const double files_ms = Median(kRounds, files, [&] { perform(0, CountDeleted); });
  const double files_bare_ms = Median(kRounds, files, [&] { DeleteFilesBare(at); });
  const int deleted = g_deleted / kRounds;
  CreateFiles(at);
  perform(0, nullptr);
  Stopwatch folders;
  perform(1, nullptr);
  const double folders_ms = folders.Milliseconds();
  auto registry = [&] { CreateRegistry(at); };
  double values_ms = 0, keys_ms = 0;
  const double registry_ms = Median(kRounds, registry, [&] {
    Stopwatch values;
    perform(3, nullptr);
    values_ms = values.Milliseconds();
    Stopwatch keys;
    perform(2, nullptr);
    keys_ms = keys.Milliseconds();
  });
  const double registry_bare_ms = Median(kRounds, registry, [&] { DeleteRegistryBare(at); });
  auto ini = [&] { CreateIni(at); };
  const double ini_ms = Median(kRounds, ini, [&] { perform(4, nullptr); });
  const double ini_bare_ms = Median(kRounds, ini, [&] { DeleteIniBare(at); });
  CreateIni(at);
  perform(4, nullptr);
  const int left = Leftovers(at);
  manage(2);

  // The peers: each NSIS installer writes its uninstaller once; the
  // uninstaller runs in place (_?=) so that it does not restart itself.
  double peer_ms[4] = {};
  for (int p = 0; p < 4; ++p) {
    const std::wstring peer(kPeers[p], kPeers[p] + strlen(kPeers[p]));
    const std::wstring folder = at.root + L"\\peer_" + peer;
    RunAndWait(L"\"" + work + L"\\peer_" + peer + L"_setup.exe\" /S /D=" + folder);
    auto prepare = [&] {
      if (p == 1) CreateFiles(at);
      if (p == 2) CreateRegistry(at);
      if (p == 3) CreateIni(at);
    };
    const std::wstring command = L"\"" + folder + L"\\uninst.exe\" /S _?=" + folder;
    peer_ms[p] = Median(p == 1 ? 1 : kRounds, prepare, [&] { RunAndWait(command); });
  }
  const int peer_left = Leftovers(at) - kFolders;
  for (int f = 0; f < kFolders; ++f) RemoveDirectoryW(at.Folder(f).c_str());
  const double nsis_files = peer_ms[1] - peer_ms[0], nsis_registry = peer_ms[2] - peer_ms[0];
  const double nsis_ini = peer_ms[3] - peer_ms[0];

  std::printf("medians of %d rounds; NSIS figures less its empty uninstaller's run (%.1f ms)\n", kRounds, peer_ms[0]);
  std::printf("logging %d entries with AddUninstLog: %.1f ms\n",
              kFolders * (kFilesPerFolder + 1) + kKeys * (kValuesPerKey + 1) + kIniSections * kIniKeysPerSection,
              logged);
  std::printf("file phase, %d files (%d deleted): %8.1f ms | bare DeleteFileW loop %8.1f ms | ratio %.2f"
              " (target <= 1.2) | NSIS, one run %8.1f ms\n",
              kFolders * kFilesPerFolder, deleted, files_ms, files_bare_ms, Ratio(files_ms, files_bare_ms),
              nsis_files);
  std::printf("folder phase, %d folders: %8.1f ms | mandated 200 ms a folder %8.1f ms | ratio %.2f\n", kFolders,
              folders_ms, kFolders * 200.0, Ratio(folders_ms, kFolders * 200.0));
  std::printf("registry phases, %d values + %d keys: %8.1f ms (values %.1f, keys %.1f) | NSIS %8.1f ms | ratio %.2f"
              " (target <= 1.2) | bare Reg* loop %8.1f ms\n",
              kKeys * kValuesPerKey, kKeys, registry_ms, values_ms, keys_ms, nsis_registry,
              Ratio(registry_ms, nsis_registry), registry_bare_ms);
  std::printf("INI phase, %d keys: %8.1f ms | NSIS %8.1f ms | ratio %.2f (target <= 1.2)"
              " | bare WritePrivateProfileStringW loop %8.1f ms\n",
              kIniSections * kIniKeysPerSection, ini_ms, nsis_ini, Ratio(ini_ms, nsis_ini), ini_bare_ms);
  std::printf("left behind: replay %d, NSIS %d\n", left, peer_left);
  MeasureCollection();
  RegDeleteTreeW(HKEY_CURRENT_USER, kKeyBase);
  DeleteFileW(at.Ini().c_str());
  return 0;
}
