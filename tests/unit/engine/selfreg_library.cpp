// A library for QXRegisterServer's tests, built three ways: its unregister
// entry returns (QX_UNREGISTER_RETURNS), never returns (QX_UNREGISTER_HANGS)
// or is missing (QX_UNREGISTER_NONE). Each entry that runs leaves a mark in
// the process's environment.
#include <windows.h>

extern "C" {

__declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  SetEnvironmentVariableW(L"QX_REGISTERED", L"1");
  return S_OK;
}

#if defined(QX_UNREGISTER_RETURNS)
__declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  SetEnvironmentVariableW(L"QX_UNREGISTERED", L"1");
  return S_OK;
}
#elif defined(QX_UNREGISTER_HANGS)
__declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  SetEnvironmentVariableW(L"QX_UNREGISTERED", L"started");
  for (;;) Sleep(1000);
}
#endif

}  // extern "C"
