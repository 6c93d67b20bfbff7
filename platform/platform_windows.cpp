#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include "platform.h"

int executable_path(char *buffer, int size) {
    if (size <= 0) return -1;
    DWORD n = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
    // A result of size means the path was cut (and, on old systems, not terminated).
    if (n == 0 || n >= static_cast<DWORD>(size)) return -1;
    return static_cast<int>(n);
}

void open_address(const char *address) {
    // The shell may hand the address to a COM-based handler.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
    if (SUCCEEDED(com)) CoUninitialize();
}
