#include "backend/Backends.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace platform::backend {
namespace {

class HeadlessBackend final : public Backend {
public:
    bool ownsThread() const override { return false; }
    void waitForEvents(DWORD) override {}
    void wake() override {}

    // The picture a screen would show: every changed area copied in, as a window's texture is.
    void present() override { Device::instance().presentChangesInto(picture_); }
    std::vector<std::uint16_t> picture() override { return picture_; }

    int messageBox(const std::wstring& text, const std::wstring& caption, UINT type) override {
        Device& device = Device::instance();
        device.recordMessageBox({text, caption, type});
        return device.messageBoxAnswer();
    }

    void setCursor(bool) override {}

    std::wstring clipboardText() override {
        std::lock_guard guard(mutex_);
        return clipboard_;
    }
    void setClipboardText(const std::wstring& text) override {
        std::lock_guard guard(mutex_);
        clipboard_ = text;
    }

private:
    std::mutex mutex_;
    std::wstring clipboard_;
    std::vector<std::uint16_t> picture_;
};

} // namespace

std::unique_ptr<Backend> createHeadless() {
    return std::make_unique<HeadlessBackend>();
}

} // namespace platform::backend
