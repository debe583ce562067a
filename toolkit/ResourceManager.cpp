#include "ResourceManager.h"

#include "DisplayFrame.h"
#include "FatalExit.h"
#include "ImageLoader.h"
#include "Tunables.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

const std::array<const wchar_t*, toolkitImageCount> imageFileNames = {
    L"bg_common_titlebar.png",
    L"bg_common_divider_section.png",
    L"btn_common_msgbox_large.png",
    L"btn_common_msgbox_small.png",
    L"btn_common_normal.png",
    L"btn_common_switch.png",
    L"btn_common_checkbox.png",
    L"btn_common_input.png",
    L"btn_common_listitem.png",
    L"pivot_leftarrow.png",
    L"pivot_rightarrow.png",
    L"btn_common_combo_down.png",
    L"btn_common_listitem_bottom.png",
    L"btn_common_listitem_middle.png",
    L"bg_common_dotline.png",
    L"bg_common_msgbox.png",
    L"background.png",
    L"btn_switch_thirdState.png",
    L"btn_checkbox_thirdState.png",
    L"btn_common_slider.png",
    L"sliderBtn.png",
};

namespace {

constexpr const wchar_t* kNewline = L"\r\n";
constexpr const wchar_t* kTemporarySuffix = L".tmp";

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Files leaving the program hold UTF-16LE text, whatever the width of WCHAR.
std::vector<BYTE> utf16le(const std::wstring& text) {
    std::vector<BYTE> bytes;
    bytes.reserve(text.size() * sizeof(char16_t));
    for (wchar_t c : text) {
        const auto unit = static_cast<char16_t>(c);
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    return bytes;
}

std::wstring fromUtf16le(const std::vector<BYTE>& bytes) {
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += sizeof(char16_t)) {
        text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
}

bool writeAll(HANDLE file, const std::vector<BYTE>& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool writeFile(const std::wstring& path, const std::wstring& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool written = writeAll(file, utf16le(text));
    CloseHandle(file);
    return written;
}

// Writes a temporary file beside `path` and copies it over; the platform's copy appears whole or
// not at all, so `path` never holds half a text.
bool replaceFile(const std::wstring& path, const std::wstring& text) {
    const std::wstring temporary = path + kTemporarySuffix;
    const bool replaced =
        writeFile(temporary, text) && CopyFileW(temporary.c_str(), path.c_str(), FALSE);
    DeleteFileW(temporary.c_str());
    return replaced;
}

std::vector<BYTE> readAll(HANDLE file) {
    std::vector<BYTE> content;
    BYTE chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        content.insert(content.end(), chunk, chunk + got);
    }
    return content;
}

std::wstring programDirectory() {
    WCHAR module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module);
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

void computeScaleFactor() {
    const auto width = static_cast<UINT>(GetSystemMetrics(SM_CXSCREEN));
    const auto height = static_cast<UINT>(GetSystemMetrics(SM_CYSCREEN));
    scaleFactor =
        width >= static_cast<UINT>(tunables::designWidthPx)
            ? 1.0
            : static_cast<double>(std::min(width, height)) * (1.0 / tunables::designWidthPx);
    portrait = width < height ? 1 : 0;
}

// The mark is the low half of the double 1.2 in a REG_DWORD; the high half is implied.
bool installMarkPresent(HKEY key) {
    DWORD low = 0;
    DWORD type = 0;
    DWORD size = sizeof low;
    if (RegQueryValueExW(key, installValue, nullptr, &type, reinterpret_cast<BYTE*>(&low), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    const auto bits = (static_cast<std::uint64_t>(tunables::installMarkHighHalf) << 32) | low;
    return std::bit_cast<double>(bits) == tunables::installedVersion;
}

[[noreturn]] void reportMissingResources(const std::wstring& imageDir) {
    const std::wstring text =
        L"Could not find resources for your application...\r\nCheck this directory:\r\n" + imageDir;
    MessageBoxW(nullptr, text.c_str(), L"Resource not available!", MB_ICONHAND);
    exitAfterFatalMessage();
}

void install(HKEY key, const std::wstring& imageDir) {
    if (!fileExists(imageDir)) {
        reportMissingResources(imageDir);
    }
    for (const wchar_t* font : {thinFontFile, labelFontFile}) {
        CopyFileW((imageDir + font).c_str(), (std::wstring(L"\\windows\\") + font).c_str(), TRUE);
    }
    const DWORD mark = tunables::installMarkValue;
    RegSetValueExW(key, installValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mark),
                   sizeof mark);
}

void installOnFirstRun(const std::wstring& imageDir) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, installKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS) {
        key = nullptr;
    }
    if (key == nullptr || !installMarkPresent(key)) {
        install(key, imageDir);
    }
    if (key != nullptr) {
        RegCloseKey(key);
    }
}

// The progress of a rescale that may have been interrupted: the images whose scaled copy is
// complete, one file name per line, rewritten whole (and atomically) after each image.
class RescaleProgress {
public:
    explicit RescaleProgress(std::wstring path) : path_(std::move(path)) {
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            parse(fromUtf16le(readAll(file)));
            CloseHandle(file);
        }
    }

    // Writes the list as it stands; false when the directory cannot be written.
    bool save() const {
        std::wstring text;
        for (const std::wstring& name : done_) {
            text += name + kNewline;
        }
        return replaceFile(path_, text);
    }
    bool done(const std::wstring& name) const {
        return std::find(done_.begin(), done_.end(), name) != done_.end();
    }
    bool record(const std::wstring& name) {
        done_.push_back(name);
        return save();
    }

private:
    void parse(const std::wstring& text) {
        size_t start = 0;
        for (size_t end; (end = text.find(kNewline, start)) != std::wstring::npos;
             start = end + 2) {
            done_.push_back(text.substr(start, end - start));
        }
    }

    std::wstring path_;
    std::vector<std::wstring> done_;
};

enum class Outcome { done, pending, interrupted };

// One image: scale it into a copy beside it, record that, then put the copy in its place. Every
// step can be repeated after an interruption without scaling the image twice.
Outcome rescaleOne(int index, RescaleProgress& progress) {
    const std::wstring& path = imagePaths[static_cast<size_t>(index)];
    const std::wstring copy = path + scaledCopySuffix;
    const std::wstring name = imageFileNames[static_cast<size_t>(index)];
    if (!progress.done(name)) {
        DeleteFileW(copy.c_str()); // a copy left by an interruption may be incomplete
        rescaleImageFileTo(path, copy);
        const bool produced = fileExists(copy);
        if (!produced && fileExists(path)) {
            return Outcome::pending; // the encoder failed; try again on the next start
        }
        if (!rescaleStepReached(index, RescaleStep::scaledCopyWritten)) {
            return Outcome::interrupted;
        }
        if (!progress.record(name)) {
            return Outcome::pending;
        }
        if (!rescaleStepReached(index, RescaleStep::progressRecorded)) {
            return Outcome::interrupted;
        }
    }
    if (fileExists(copy)) {
        if (!CopyFileW(copy.c_str(), path.c_str(), FALSE)) {
            return Outcome::pending;
        }
        if (!rescaleStepReached(index, RescaleStep::imageReplaced)) {
            return Outcome::interrupted;
        }
        DeleteFileW(copy.c_str());
    }
    return rescaleStepReached(index, RescaleStep::imageFinished) ? Outcome::done
                                                                 : Outcome::interrupted;
}

// Shrinks every image once. The marker is written only when all of them are done, and the
// progress file lets an interrupted first start finish the job without scaling anything twice.
void rescaleImagesOnce(const std::wstring& imageDir) {
    const std::wstring marker = imageDir + scaledMarkerFile;
    const std::wstring progressPath = imageDir + rescaleProgressFile;
    if (fileExists(marker)) {
        return;
    }
    bool allDone = true;
    {
        RescaleProgress progress(progressPath);
        if (!progress.save()) {
            return; // the directory cannot be written: nothing is rescaled
        }
        for (int i = 0; i < toolkitImageCount; ++i) {
            const Outcome outcome = rescaleOne(i, progress);
            if (outcome == Outcome::interrupted) {
                return;
            }
            allDone = allDone && outcome == Outcome::done;
        }
    }
    if (allDone && replaceFile(marker, scaledMarkerText)) {
        DeleteFileW(progressPath.c_str());
    }
}

// What a start that was cut off may have left: the temporaries of replaceFile, and once the
// marker is written, the progress file and scaled copies. An unfinished rescale keeps them: the
// next start on the small screen goes on from them.
void removeLeftovers(const std::wstring& imageDir) {
    for (const wchar_t* file : {rescaleProgressFile, scaledMarkerFile}) {
        DeleteFileW((imageDir + file + kTemporarySuffix).c_str());
    }
    if (!fileExists(imageDir + scaledMarkerFile)) {
        return;
    }
    DeleteFileW((imageDir + rescaleProgressFile).c_str());
    for (const std::wstring& path : imagePaths) {
        DeleteFileW((path + scaledCopySuffix).c_str());
    }
}

} // namespace

__attribute__((weak)) bool rescaleStepReached(int /*image*/, RescaleStep /*step*/) {
    return true;
}

std::wstring imageDirectory() {
    return resourceDir + L"VGA\\";
}

void loadResources() {
    messageBoxEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    resourceDir = programDirectory() + L"resources\\";
    const std::wstring imageDir = imageDirectory();
    computeScaleFactor();
    installOnFirstRun(imageDir);
    for (size_t i = 0; i < imagePaths.size(); ++i) {
        imagePaths[i] = imageDir + imageFileNames[i];
    }
    removeLeftovers(imageDir);
    if (scaleFactor != 1.0) {
        rescaleImagesOnce(imageDir);
    }
}
