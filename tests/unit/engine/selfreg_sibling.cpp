// A self-registered library whose import lies beside it (QX_SIBLING_DEP
// builds that import): its unregister entry runs only when the library's own
// folder is searched for imports, and leaves QX_SIBLING=1 in the environment.
#include <windows.h>

extern "C" {

#if defined(QX_SIBLING_DEP)
__declspec(dllexport) void QxSiblingMark() { SetEnvironmentVariableW(L"QX_SIBLING", L"1"); }
#else
__declspec(dllimport) void QxSiblingMark();
__declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  QxSiblingMark();
  return S_OK;
}
#endif

}  // extern "C"
