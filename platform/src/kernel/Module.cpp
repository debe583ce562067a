// The program's module and the process.
#include "kernel/Paths.h"
#include "kernel/Wait.h"
#include "winbase.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The program's instance handle: an address that is unique in the process.
HINSTANCE__ programInstance{};

bool sameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
    return std::ranges::equal(a, b, [&](wchar_t x, wchar_t y) { return lower(x) == lower(y); });
}

// The program is known by its file name alone or by its full device path.
bool namesProgram(std::wstring_view name) {
    return sameIgnoringCase(name, platform::paths::programFile) ||
           sameIgnoringCase(name, platform::paths::moduleFileName());
}

} // namespace

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    platform::kernel::cancellationPoint();
    if (hModule && hModule != &programInstance) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::wstring name = platform::paths::moduleFileName();
    if (nSize == 0 || !lpFilename) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (name.size() < nSize) {
        std::copy(name.begin(), name.end(), lpFilename);
        lpFilename[name.size()] = L'\0';
        return static_cast<DWORD>(name.size());
    }
    std::copy_n(name.begin(), nSize - 1, lpFilename);
    lpFilename[nSize - 1] = L'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    platform::kernel::cancellationPoint();
    if (!lpModuleName || namesProgram(lpModuleName)) {
        return &programInstance;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
