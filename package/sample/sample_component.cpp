// The sample application's self-registering component: registration writes
// one key, unregistration removes it, as a COM server's entries would.
#include <windows.h>

#include "common/unique_resource.h"

namespace {
constexpr wchar_t kKey[] = L"Software\\Orvella Component";
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  qx::UniqueKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return E_FAIL;
  static const wchar_t kValue[] = L"registered";
  const LONG result =
      RegSetValueExW(key.get(), L"State", 0, REG_SZ, reinterpret_cast<const BYTE*>(kValue), sizeof kValue);
  return result == ERROR_SUCCESS ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  const LONG result = RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : E_FAIL;
}
