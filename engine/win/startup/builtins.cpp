#include "engine/win/startup/builtins.h"

#include <windows.h>
#include <shlobj.h>

#include <iterator>
#include <vector>

#include "engine/core/command_line.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/shell_folders.h"
#include "common/fixed_string.h"
#include "engine/win/platform/system_library.h"
#include "engine/core/system_facts.h"
#include "common/unique_resource.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

using core::Text;
using PathBuffer = FixedString<wchar_t, MAX_PATH>;

// Functions looked up at run time, since older systems lack them.
template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

Text FromBuffer(const PathBuffer& buffer) { return FromWide(buffer.get()); }

template <typename Call>
Text FolderFrom(Call call) {
  PathBuffer buffer;
  UINT length = call(buffer.writable(), static_cast<UINT>(buffer.capacity()));
  if (length == 0 || !buffer.commit(length)) return Text();
  return Text(core::WithoutTrailingBackslash(FromBuffer(buffer)));
}

Text TemporaryFolder() {
  PathBuffer short_path;
  DWORD length = GetTempPathW(static_cast<DWORD>(short_path.capacity()), short_path.writable());
  if (length == 0 || !short_path.commit(length)) return Text();
  using GetLongPathNameFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
  auto get_long_path = LookUp<GetLongPathNameFn>(GetModuleHandleW(L"kernel32.dll"), "GetLongPathNameW");
  if (get_long_path) {
    PathBuffer long_path;
    DWORD n = get_long_path(short_path.get(), long_path.writable(), static_cast<DWORD>(long_path.capacity()));
    if (n != 0 && long_path.commit(n)) return Text(core::WithoutTrailingBackslash(FromBuffer(long_path)));
  }
  return Text(core::WithoutTrailingBackslash(FromBuffer(short_path)));
}

int OsVersionCode() {
  core::OsVersion version;
  OSVERSIONINFOEXA extended{};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
    version.platform_id = extended.dwPlatformId;
    version.major = extended.dwMajorVersion;
    version.minor = extended.dwMinorVersion;
    version.workstation = extended.wProductType == VER_NT_WORKSTATION;
  } else {
    // Without the extended answer the system counts as a server.
    OSVERSIONINFOA plain{};
    plain.dwOSVersionInfoSize = sizeof plain;
    if (GetVersionExA(&plain)) {
      version.platform_id = plain.dwPlatformId;
      version.major = plain.dwMajorVersion;
      version.minor = plain.dwMinorVersion;
    }
  }
  OSVERSIONINFOW wide{};
  wide.dwOSVersionInfoSize = sizeof wide;
  if (GetVersionExW(&wide)) {
    version.wide_major = wide.dwMajorVersion;
    version.wide_minor = wide.dwMinorVersion;
  }
  return core::OsVersionCode(version);
}

bool Is64BitSystem() {
  // A 64-bit process runs only on a 64-bit system, and is not under WOW64.
  if constexpr (sizeof(void*) == 8) return true;
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  if (auto is_wow64 = LookUp<IsWow64ProcessFn>(kernel, "IsWow64Process")) {
    BOOL wow64 = FALSE;
    return is_wow64(GetCurrentProcess(), &wow64) && wow64;
  }
  using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
  if (auto native_info = LookUp<GetNativeSystemInfoFn>(kernel, "GetNativeSystemInfo")) {
    SYSTEM_INFO info{};
    native_info(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
  }
  return false;
}

// Membership of the caller in a built-in group (544 Administrators, 547 Power
// Users). Any missing piece of the platform counts as "not a member".
bool IsMemberOfBuiltinGroup(DWORD group_rid) {
  UniqueModule advapi(LoadSystemLibrary(L"advapi32.dll"));
  using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
  using AllocateAndInitializeSidFn =
      BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, PSID*);
  using FreeSidFn = PVOID(WINAPI*)(PSID);
  auto check = LookUp<CheckTokenMembershipFn>(advapi.get(), "CheckTokenMembership");
  auto allocate = LookUp<AllocateAndInitializeSidFn>(advapi.get(), "AllocateAndInitializeSid");
  auto free_sid = LookUp<FreeSidFn>(advapi.get(), "FreeSid");
  if (!check || !allocate || !free_sid) return false;

  SID_IDENTIFIER_AUTHORITY nt_authority = {SECURITY_NT_AUTHORITY};
  PSID group = nullptr;
  if (!allocate(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, group_rid, 0, 0, 0, 0, 0, 0, &group)) return false;
  struct SidOwner {
    PSID sid;
    FreeSidFn release;
    ~SidOwner() { release(sid); }
  } owner{group, free_sid};
  BOOL member = FALSE;
  return check(nullptr, group, &member) && member;
}

Text Flag(bool value) { return value ? Text(u"1") : Text(u"0"); }

Text EnvironmentValue(const wchar_t* name) {
  DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return Text();
  Text value(needed, u'\0');
  DWORD length = GetEnvironmentVariableW(name, WideOf(value), needed);
  if (length == 0 || length >= needed) return Text();
  // Up to its first zero, as the platform's own text would be read.
  return Text(value.c_str());
}

// The deferred folder variables' ids: the CSIDL number, with kQuickLaunch
// for the quick-launch folder under the CSIDL_APPDATA folder.
constexpr uint32_t kQuickLaunch = 0x10000;

Text ResolveFolderVariable(uint32_t id) {
  if (id & kQuickLaunch)
    return SpecialFolderPath(static_cast<int>(id & ~kQuickLaunch)) + u"\\Microsoft\\Internet Explorer\\Quick Launch";
  return SpecialFolderPath(static_cast<int>(id));
}

// The shell folder variables, resolved when first read: their CSIDL
// numbers.
struct Folder {
  core::TextView name;
  int csidl;
};
constexpr Folder kFirstFolders[] = {
    {contract::kDesktopFolder.portable_name, CSIDL_DESKTOP},
    {u"PROGMENUDIR", CSIDL_PROGRAMS},
    {u"PROGFILESDIR", CSIDL_PROGRAM_FILES},
    {u"STARTUPMENUDIR", CSIDL_STARTUP},
    {u"STARTMENUDIR", CSIDL_STARTMENU},
    {u"TEMPLATESDIR", CSIDL_TEMPLATES},
    {u"FONTSDIR", CSIDL_FONTS},
    {u"MYDOCDIR", CSIDL_PERSONAL},
    // The common application data folder, as the package has always had
    // it, not the common program files folder.
    {u"COMFILESDIR", CSIDL_COMMON_APPDATA},
};
constexpr Folder kLaterFolders[] = {
    {u"COMDESKTOPDIR", CSIDL_COMMON_DESKTOPDIRECTORY},
    {u"COMSTARTMENUDIR", CSIDL_COMMON_STARTMENU},
    {u"COMPROGMENUDIR", CSIDL_COMMON_PROGRAMS},
    {u"COMSTARTUPMENUDIR", CSIDL_COMMON_STARTUP},
    {u"SENDTOMENUDIR", CSIDL_SENDTO},
    {u"APPDATADIR", CSIDL_APPDATA},
    {u"COMAPPDATADIR", CSIDL_COMMON_APPDATA},
    {u"COMMYDOCDIR", CSIDL_COMMON_DOCUMENTS},
    {u"COMTEMPLATESDIR", CSIDL_COMMON_TEMPLATES},
    {u"FAVORITESDIR", CSIDL_FAVORITES},
    {u"COMFAVORITESDIR", CSIDL_COMMON_FAVORITES},
    {u"LOCALAPPDATADIR", CSIDL_LOCAL_APPDATA},
};

void SetFolders(core::TextLayer& text, const Folder* first, const Folder* end) {
  for (const Folder* f = first; f != end; ++f) text.SetDeferredVariable(f->name, static_cast<uint32_t>(f->csidl));
}

}  // namespace

void SetBuiltinVariables(core::TextLayer& text) {
  text.set_resolver(&ResolveFolderVariable);
  SetFolders(text, std::begin(kFirstFolders), std::end(kFirstFolders));
  text.SetVariable(NameOf(contract::kWindowsFolder),
                   FolderFrom([](wchar_t* b, UINT n) { return GetWindowsDirectoryW(b, n); }));
  text.SetVariable(u"SYS", FolderFrom([](wchar_t* b, UINT n) { return GetSystemDirectoryW(b, n); }));
  text.SetVariable(u"TMP", TemporaryFolder());

  const std::vector<Text> parameters = core::SplitCommandLine(FromWide(GetCommandLineW()));
  const size_t count = parameters.size();
  text.SetVariable(u"PARAMCOUNT", core::DecimalText(static_cast<int64_t>(count)));
  text.SetVariable(u"PARAM", count ? parameters[0] : Text());
  // PARAM2 up to PARAM<count+1>; the last one is always empty.
  for (size_t i = 2; count && i <= count + 1; ++i)
    text.SetVariable(u"PARAM" + core::DecimalText(static_cast<int64_t>(i)), i <= count ? parameters[i - 1] : Text());

  SYSTEMTIME now;
  GetLocalTime(&now);
  const core::LocalDateTime when{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  text.SetVariable(u"CURDATE", core::FormatDateTime(u"%yyyy%mm%dd", when));
  text.SetVariable(u"CURDATETIME", core::FormatDateTime(u"%yyyy%mm%dd %hh:%ii:%ss", when));
  text.SetVariable(u"OSVER", core::DecimalText(OsVersionCode()));
  text.SetVariable(u"IS64OS", Flag(Is64BitSystem()));
  text.SetVariable(NameOf(contract::kIsAdmin), Flag(IsMemberOfBuiltinGroup(DOMAIN_ALIAS_RID_ADMINS)));
  text.SetVariable(u"ISPOWERUSER", Flag(IsMemberOfBuiltinGroup(DOMAIN_ALIAS_RID_POWER_USERS)));

  SetFolders(text, std::begin(kLaterFolders), std::end(kLaterFolders));
  text.SetDeferredVariable(u"QUICKLAUNCHDIR", kQuickLaunch | CSIDL_APPDATA);
  text.SetVariable(u"SYSROOT", EnvironmentValue(L"SYSTEMDRIVE"));
  text.SetVariable(u"PARAMS", core::JoinParameters(parameters));
}

}  // namespace qx::engine
