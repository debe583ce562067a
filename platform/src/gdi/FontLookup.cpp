#include "gdi/FontLookup.h"

#include "kernel/Paths.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <mutex>
#include <optional>
#include <vector>

namespace platform::gdi {
namespace {

constexpr std::string_view defaultFamily = "DejaVu Sans";
constexpr const char* defaultFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::wstring lower(std::wstring_view text) {
    std::wstring result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return result;
}

bool sameName(std::wstring_view a, std::wstring_view b) {
    return lower(a) == lower(b);
}

bool isFontFile(const std::filesystem::path& file) {
    const std::wstring ext = lower(file.extension().wstring());
    return ext == L".ttf" || ext == L".otf" || ext == L".ttc";
}

FontChoice withSynthesis(std::shared_ptr<FontFace> face, bool bold, bool italic) {
    FontChoice choice;
    if (face) {
        choice.embolden = bold && !face->bold();
        choice.oblique = italic && !face->italic();
    }
    choice.face = std::move(face);
    return choice;
}

// How far a face is from the asked style, by weight (a family with several weights gives its
// regular face to a regular request, not its thinnest) and slant, a wrong slant counting half
// as much as regular for bold.
int styleDistance(const FontFace& face, bool bold, bool italic) {
    constexpr int regularWeight = 400;
    constexpr int boldWeight = 700;
    constexpr int slantMismatch = (boldWeight - regularWeight) / 2;
    const int weightGap = std::abs(face.weight() - (bold ? boldWeight : regularWeight));
    return weightGap + (face.italic() != italic ? slantMismatch : 0);
}

std::optional<FontChoice> findInWindowsFolder(std::wstring_view faceName, bool bold, bool italic) {
    const std::filesystem::path folder = paths::toHost(L"\\windows");
    std::error_code error;
    if (paths::deviceDir().empty() || !std::filesystem::is_directory(folder, error)) {
        return std::nullopt;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error) && isFontFile(entry.path())) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        const std::wstring name = file.filename().wstring();
        if (sameName(name, faceName) || sameName(file.stem().wstring(), faceName)) {
            if (auto face = FontFace::load(file)) {
                return withSynthesis(face, bold, italic);
            }
        }
    }
    std::shared_ptr<FontFace> best;
    for (const auto& file : files) {
        auto face = FontFace::load(file);
        if (!face || !sameName(paths::widen(face->family()), faceName)) {
            continue;
        }
        if (!best || styleDistance(*face, bold, italic) < styleDistance(*best, bold, italic)) {
            best = face;
        }
    }
    if (best) {
        return withSynthesis(best, bold, italic);
    }
    return std::nullopt;
}

struct Fontconfig {
    std::mutex lock; // fontconfig's configuration is shared by every caller
    bool started = false;
    bool finished = false;
};

Fontconfig& fontconfig() {
    static Fontconfig state;
    return state;
}

// fontconfig keeps memory until FcFini; release it when the process ends.
void finishFontconfig() {
    Fontconfig& state = fontconfig();
    std::lock_guard guard(state.lock);
    FcFini();
    state.finished = true;
}

// Under the lock: true when fontconfig can be used.
bool startFontconfig(Fontconfig& state) {
    if (!state.started) {
        state.started = true;
        if (FcInit() == FcFalse) {
            state.finished = true;
            return false;
        }
        std::atexit(finishFontconfig);
    }
    return !state.finished;
}

bool familyMatches(FcPattern* match, std::string_view family) {
    FcChar8* value = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i) {
        if (sameName(paths::widen(reinterpret_cast<const char*>(value)), paths::widen(family))) {
            return true;
        }
    }
    return false;
}

std::optional<FontChoice> findWithFontconfig(std::string_view family, bool bold, bool italic) {
    Fontconfig& state = fontconfig();
    std::lock_guard guard(state.lock);
    if (!startFontconfig(state)) {
        return std::nullopt;
    }
    FcPattern* pattern = FcPatternCreate();
    const std::string name(family);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    std::optional<FontChoice> choice;
    FcChar8* file = nullptr;
    int index = 0;
    if (match != nullptr && familyMatches(match, family) &&
        FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        if (auto face = FontFace::load(reinterpret_cast<const char*>(file), index)) {
            choice = withSynthesis(face, bold, italic);
        }
    }
    if (match != nullptr) {
        FcPatternDestroy(match);
    }
    return choice;
}

} // namespace

FontChoice defaultFont(bool bold, bool italic) {
    if (auto found = findWithFontconfig(defaultFamily, bold, italic)) {
        return *found;
    }
    return withSynthesis(FontFace::load(defaultFile), bold, italic);
}

FontChoice chooseFont(std::wstring_view faceName, bool bold, bool italic) {
    if (!faceName.empty()) {
        if (auto found = findInWindowsFolder(faceName, bold, italic)) {
            return *found;
        }
        if (auto found = findWithFontconfig(paths::narrow(faceName), bold, italic)) {
            return *found;
        }
    }
    return defaultFont(bold, italic);
}

} // namespace platform::gdi
