// Arbitrary bytes as a PNG file through the Imaging factory: decode, read the information,
// draw stretched and clipped onto an RGB565 buffer, and make a thumbnail. A damaged file must
// give a failure code, never a crash or a read out of bounds.
#include "gdi/BufferDC.h"
#include "imaging.h"
#include "kernel/Paths.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

IImagingFactory* factory() {
    static IImagingFactory* made = [] {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("dawnbell-fuzz-png-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        platform::paths::configure(folder, folder);
        IImagingFactory* created = nullptr;
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                         reinterpret_cast<void**>(&created));
        return created;
    }();
    return made;
}

void exercise(IImage& image) {
    ImageInfo info{};
    require(image.GetImageInfo(&info) == S_OK);
    require(info.Width > 0 && info.Height > 0);
    SIZE size{};
    require(image.GetPhysicalDimension(&size) == S_OK);

    std::vector<std::uint16_t> pixels(64 * 48, 0xEF5D);
    HDC dc = platform::gdi::createBufferDC(pixels.data(), 64, 48, 64);
    RECT whole{-7, -3, 70, 40};
    image.Draw(dc, &whole, nullptr);
    RECT corner{0, 0, size.cx / 2 + 1, size.cy / 3 + 1};
    RECT small{5, 5, 9, 30};
    image.Draw(dc, &small, &corner);
    platform::gdi::deleteBufferDC(dc);

    IImage* thumbnail = nullptr;
    if (image.GetThumbnail(7, 5, &thumbnail) == S_OK) {
        thumbnail->Release();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    IImagingFactory* imaging = factory();
    require(imaging != nullptr);
    const auto file = platform::paths::toHost(L"\\input.png");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    IImage* image = nullptr;
    const HRESULT result = imaging->CreateImageFromFile(L"\\input.png", &image);
    if (FAILED(result)) {
        require(image == nullptr);
        return 0;
    }
    require(image != nullptr);
    exercise(*image);
    image->Release();
    return 0;
}
