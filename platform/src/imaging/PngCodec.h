// PNG files through libpng's simplified API: decoding (with the pHYs resolution, which that API
// does not report), encoding, and replacing a file atomically.
#pragma once

#include "imaging/RgbaImage.h"
#include "wintypes.h"

#include <filesystem>
#include <vector>

namespace platform::imaging {

struct DecodedPng {
    RgbaImage image;
    bool hasAlpha = false; // the file has an alpha channel or transparency
};

// S_OK and the pixels, or the failure: IMGERR_CODECNOTFOUND for data that is not PNG, E_FAIL for
// a damaged or truncated one, E_OUTOFMEMORY for one too large to hold.
HRESULT decodePng(const std::vector<std::uint8_t>& bytes, DecodedPng& out);
// Reads and decodes a file; a missing file gives HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
HRESULT decodePngFile(const std::filesystem::path& file, DecodedPng& out);

bool encodePng(const RgbaImage& image, bool withAlpha, std::vector<std::uint8_t>& out);

// Writes `bytes` to a temporary file beside `file`, flushes it to disk and renames it over
// `file`: readers see the old file or the new one, never a part.
bool replaceFileAtomically(const std::filesystem::path& file,
                           const std::vector<std::uint8_t>& bytes);

} // namespace platform::imaging
