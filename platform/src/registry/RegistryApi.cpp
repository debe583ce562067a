// The Reg* calls: a thin face over the registry store.
#include "kernel/Wait.h"
#include "registry/RegistryStore.h"
#include "winreg.h"

using platform::kernel::cancellationPoint;
using platform::registry::Store;

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    cancellationPoint();
    return Store::instance().createKey(hKey, lpSubKey, phkResult, lpdwDisposition);
}

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    cancellationPoint();
    return Store::instance().openKey(hKey, lpSubKey, phkResult);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    return Store::instance().closeKey(hKey);
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    cancellationPoint();
    if (lpReserved) {
        return ERROR_INVALID_PARAMETER;
    }
    return Store::instance().queryValue(hKey, lpValueName, lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
    cancellationPoint();
    return Store::instance().setValue(hKey, lpValueName, dwType, lpData, cbData);
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    cancellationPoint();
    return Store::instance().deleteValue(hKey, lpValueName);
}
