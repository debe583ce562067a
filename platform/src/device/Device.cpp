#include "platform/Device.h"

#include "backend/Backends.h"
#include "device/DeviceServices.h"
#include "device/ImageSet.h"
#include "device/TaskBar.h"
#include "kernel/AtomicFile.h"
#include "kernel/Paths.h"
#include "user/Desktop.h"
#include "winbase.h"
#include "winuser.h"

#include <png.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace platform {
namespace {

std::atomic<bool> deviceRunning{false};

bool intersect(const RECT& a, const RECT& b, RECT& out) {
    out = RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    return out.left < out.right && out.top < out.bottom;
}

RECT unite(const RECT& a, const RECT& b) {
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

long long areaOf(const RECT& r) {
    return static_cast<long long>(r.right - r.left) * (r.bottom - r.top);
}

bool contains(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool overlapsOrTouches(const RECT& a, const RECT& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

// A caret blinking in a field and a clock ticking in the task bar are two small areas, not the
// band between them; past this many, areas merge where that adds the least.
constexpr size_t maxChangedAreas = 4;

void addChangedArea(std::vector<RECT>& areas, RECT area) {
    for (bool merged = true; merged;) {
        merged = false;
        for (auto it = areas.begin(); it != areas.end(); ++it) {
            if (overlapsOrTouches(*it, area)) {
                area = unite(*it, area);
                areas.erase(it);
                merged = true;
                break;
            }
        }
    }
    if (areas.size() < maxChangedAreas) {
        areas.push_back(area);
        return;
    }
    auto cheapest = std::min_element(areas.begin(), areas.end(), [&](const RECT& a, const RECT& b) {
        return areaOf(unite(a, area)) - areaOf(a) < areaOf(unite(b, area)) - areaOf(b);
    });
    const RECT grown = unite(*cheapest, area);
    areas.erase(cheapest);
    addChangedArea(areas, grown); // it may now touch another
}

// The rows of `area` split where a layer begins or ends, so that within a band the same layers
// cover the same columns.
std::vector<int> bandEdges(const RECT& area, const std::vector<RECT>& covers) {
    std::vector<int> edges{area.top, area.bottom};
    for (const RECT& cover : covers) {
        for (int y : {cover.top, cover.bottom}) {
            if (y > area.top && y < area.bottom) {
                edges.push_back(y);
            }
        }
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    return edges;
}

} // namespace

struct Device::State {
    explicit State(Device& device) : taskBar(device) {}

    DeviceConfig config;
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    std::atomic<bool> taskBarVisible{true};
    std::atomic<bool> inputPanelShown{false};
    std::atomic<bool> stripUncovered{false};
    std::mutex probeMutex;
    std::function<bool()> connectionProbe;
    std::chrono::steady_clock::time_point lastProbe{};
    std::unique_ptr<Backend> backend;
    device::TaskBar taskBar;

    std::mutex screenMutex; // the pixels and their size
    std::vector<std::uint16_t> pixels;

    std::mutex dirtyMutex;
    std::vector<RECT> changed; // disjoint areas changed since the last present

    mutable std::mutex layersMutex;
    std::vector<Layer*> layers;

    std::mutex composeMutex;
    std::vector<std::uint16_t> scratch; // the whole screen; only the composed area is touched

    // Where a present's pieces go: to a backend's upload, or, without one, straight into a
    // picture of the whole screen (rows `width` pixels apart).
    struct Target {
        const Upload* upload = nullptr;
        std::vector<std::uint16_t>* picture = nullptr;
    };
    // Hands `area` to the target as presented: straight from the screen where no layer covers
    // it, composed in the scratch buffer (or the picture itself) where one does. Pieces come in
    // order and a later one may cover part of an earlier one: what came last is what the screen
    // shows.
    void composeArea(const RECT& area, const Target& target);
    void uploadFromScreen(const RECT& area, const Target& target);
    void uploadComposed(const RECT& area, const Target& target);
    bool presentChanges(const Target& target);

    std::mutex listenersMutex;
    std::vector<std::function<void()>> rotateListeners;

    std::mutex pointerMutex;
    std::function<bool(PointerAction, int, int)> pointerFilter;
    bool pressed = false;
    bool pressInFilter = false;

    mutable std::mutex boxesMutex;
    std::vector<MessageBoxRecord> boxes;
    std::atomic<int> boxAnswer{IDOK};
    std::atomic<bool> waitCursor{false};
};

Device& Device::instance() {
    static auto* device = new Device; // outlives every thread that may still ask for it
    return *device;
}

bool Device::running() {
    return deviceRunning;
}

void Device::start(const DeviceConfig& config) {
    if (running()) {
        stop();
    }
    Device& device = instance();
    auto state = std::make_unique<State>(device);
    state->config = config;
    // A native device learns its screen from the display.
    state->backend = config.backend == "headless" ? backend::createHeadless()
                                                  : backend::createSdl(state->config);
    const DeviceConfig& actual = state->config;
    state->width = actual.width;
    state->height = actual.height;
    state->pixels.assign(static_cast<size_t>(actual.width) * actual.height, 0);
    paths::configure(config.deviceDir, config.programDir);
    // A run killed while it replaced a file (the registry, an image, a copy) left a temporary.
    kernel::removeAbandonedTemporaries(config.deviceDir);
    kernel::removeAbandonedTemporaries(config.programDir);
    if (config.ownImageSet && actual.width < 480) {
        const auto images =
            device::ownImageSet(config.deviceDir, config.programDir / "resources" / "VGA",
                                device::imageSetKey(actual.width, actual.height, actual.dpi));
        if (images.empty()) {
            std::exit(1); // the reason is said
        }
        paths::useImageFolder(images);
    }
    state->layers.push_back(&state->taskBar);
    device.state_ = std::move(state);
    user::resetWindowManager();
    deviceRunning = true;
    runDeviceResets();
    device.invalidate(RECT{0, 0, device.width(), device.height()});
}

void Device::stop() {
    if (!running()) {
        return;
    }
    runDeviceResets();
    user::resetWindowManager();
    deviceRunning = false;
    instance().state_.reset();
}

const DeviceConfig& Device::config() const {
    return state_->config;
}
int Device::width() const {
    return state_->width;
}
int Device::height() const {
    return state_->height;
}
int Device::dpi() const {
    return state_->config.dpi;
}
int Device::taskBarHeight() const {
    return state_->config.native ? 0 : (26 * state_->config.dpi + 48) / 96;
}
bool Device::taskBarVisible() const {
    return state_->taskBarVisible;
}

void Device::setTaskBarVisible(bool visible) {
    if (state_->taskBarVisible.exchange(visible) != visible) {
        invalidate(RECT{0, 0, width(), taskBarHeight()});
    }
}

void Device::refreshTaskBar() {
    if (taskBarHeight() == 0) {
        return;
    }
    // A program that hides the task bar without covering its place leaves the strip showing.
    bool uncovered = true;
    for (const int x : {0, width() / 2, width() - 1}) {
        uncovered = uncovered && !user::windowAt(x, taskBarHeight() / 2);
    }
    if (state_->stripUncovered.exchange(uncovered) != uncovered) {
        invalidate(RECT{0, 0, width(), taskBarHeight()});
    }
    if (!taskBarDrawn()) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // The connection is asked for at most once a second: this runs on every turn of the loop.
    const auto asked = std::chrono::steady_clock::now();
    bool connected = state_->taskBar.status().connected;
    {
        std::lock_guard guard(state_->probeMutex);
        if (asked - state_->lastProbe >= std::chrono::seconds(1)) {
            state_->lastProbe = asked;
            connected = state_->connectionProbe && state_->connectionProbe();
        }
    }
    const device::TaskBarStatus status{local.tm_hour * 60 + local.tm_min, connected};
    if (state_->taskBar.setStatus(status)) {
        invalidate(RECT{0, 0, width(), taskBarHeight()});
    }
}

bool Device::taskBarDrawn() const {
    return taskBarHeight() > 0 && (taskBarVisible() || state_->stripUncovered);
}

DWORD Device::taskBarRefreshDelayMs() const {
    if (!taskBarDrawn()) {
        return INFINITE;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<DWORD>(60 - local.tm_sec) * 1000;
}

void Device::setInputPanelShown(bool shown) {
    if (state_->inputPanelShown.exchange(shown) != shown) {
        state_->backend->wake();
    }
}

bool Device::inputPanelShown() const {
    return state_->inputPanelShown;
}

void Device::setConnectionProbe(std::function<bool()> probe) {
    std::lock_guard guard(state_->probeMutex);
    state_->connectionProbe = std::move(probe);
}

void Device::rotate() {
    int oldWidth = 0;
    int oldHeight = 0;
    {
        std::lock_guard guard(state_->screenMutex);
        oldWidth = state_->width;
        oldHeight = state_->height;
        state_->width = oldHeight;
        state_->height = oldWidth;
        state_->pixels.assign(state_->pixels.size(), 0);
    }
    {
        std::lock_guard guard(state_->dirtyMutex);
        state_->changed.assign(1, RECT{0, 0, oldHeight, oldWidth});
    }
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard guard(state_->listenersMutex);
        listeners = state_->rotateListeners;
    }
    for (auto& listener : listeners) {
        listener();
    }
    user::screenRotated(oldWidth, oldHeight);
    state_->backend->wake();
}

void Device::onRotate(std::function<void()> listener) {
    std::lock_guard guard(state_->listenersMutex);
    state_->rotateListeners.push_back(std::move(listener));
}

std::mutex& Device::screenLock() {
    return state_->screenMutex;
}
std::uint16_t* Device::pixels() {
    return state_->pixels.data();
}
int Device::pitch() const {
    return state_->width;
}

void Device::invalidate(const RECT& changed) {
    RECT area{};
    if (!intersect(changed, RECT{0, 0, width(), height()}, area)) {
        return;
    }
    {
        std::lock_guard guard(state_->dirtyMutex);
        addChangedArea(state_->changed, area);
    }
    state_->backend->wake();
}

bool Device::presentChanges(const Upload& upload) {
    return state_->presentChanges(State::Target{&upload, nullptr});
}

bool Device::presentChangesInto(std::vector<std::uint16_t>& picture) {
    return state_->presentChanges(State::Target{nullptr, &picture});
}

bool Device::State::presentChanges(const Target& target) {
    std::vector<RECT> areas;
    {
        std::lock_guard guard(dirtyMutex);
        areas.swap(changed);
    }
    std::lock_guard composeGuard(composeMutex);
    if (target.picture != nullptr) {
        std::lock_guard guard(screenMutex);
        if (target.picture->size() != pixels.size()) {
            target.picture->assign(pixels.size(), 0);
        }
    }
    for (const RECT& area : areas) {
        composeArea(area, target);
    }
    return !areas.empty();
}

void Device::addLayer(Layer* layer) {
    {
        std::lock_guard guard(state_->layersMutex);
        state_->layers.push_back(layer);
    }
    if (layer->visible()) {
        invalidate(layer->bounds());
    }
}

void Device::removeLayer(Layer* layer) {
    RECT bounds{};
    {
        std::lock_guard guard(state_->layersMutex);
        auto& layers = state_->layers;
        auto it = std::find(layers.begin(), layers.end(), layer);
        if (it == layers.end()) {
            return;
        }
        bounds = layer->bounds();
        layers.erase(it);
    }
    invalidate(bounds);
}

namespace {

void copyRows(const std::uint16_t* from, int fromPitch, std::uint16_t* to, int toPitch, int width,
              int rows) {
    for (int y = 0; y < rows; ++y) {
        std::copy(from, from + width, to);
        from += fromPitch;
        to += toPitch;
    }
}

} // namespace

std::vector<std::uint16_t> Device::compose(const RECT& requested) {
    RECT whole{};
    if (!intersect(requested, RECT{0, 0, width(), height()}, whole)) {
        return {};
    }
    const int wholeWidth = whole.right - whole.left;
    std::vector<std::uint16_t> result(static_cast<size_t>(wholeWidth) * (whole.bottom - whole.top));
    std::lock_guard composeGuard(state_->composeMutex);
    // The area comes in pieces (beside a layer, under it): each goes to its place.
    const Upload upload = [&](const RECT& piece, const std::uint16_t* pixels, int pitch) {
        copyRows(pixels, pitch,
                 result.data() + static_cast<ptrdiff_t>(piece.top - whole.top) * wholeWidth +
                     (piece.left - whole.left),
                 wholeWidth, piece.right - piece.left, piece.bottom - piece.top);
    };
    state_->composeArea(whole, State::Target{&upload, nullptr});
    return result;
}

void Device::State::composeArea(const RECT& requested, const Target& target) {
    RECT area{};
    std::vector<RECT> covers;
    {
        std::lock_guard guard(screenMutex);
        if (!intersect(requested, RECT{0, 0, width, height}, area)) {
            return;
        }
    }
    {
        std::lock_guard guard(layersMutex);
        for (Layer* layer : layers) {
            RECT cover{};
            if (layer->visible() && intersect(layer->bounds(), area, cover)) {
                covers.push_back(cover);
            }
        }
    }
    const std::vector<int> edges = bandEdges(area, covers);
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
        const RECT band{area.left, edges[i], area.right, edges[i + 1]};
        RECT covered{band.right, band.top, band.left, band.bottom};
        for (const RECT& cover : covers) {
            if (cover.top < band.bottom && band.top < cover.bottom) {
                covered.left = std::min(covered.left, cover.left);
                covered.right = std::max(covered.right, cover.right);
            }
        }
        if (covered.left >= covered.right) {
            uploadFromScreen(band, target);
            continue;
        }
        // Beside a narrow cover (the scroll bar's column) the band's rows go whole, as one piece
        // (one texture update), and the composed column follows on top: cheaper than two short
        // pieces a row, for the price of the column sent twice.
        if ((covered.right - covered.left) * 4 <= band.right - band.left) {
            uploadFromScreen(band, target);
            uploadComposed(covered, target);
            continue;
        }
        if (band.left < covered.left) {
            uploadFromScreen(RECT{band.left, band.top, covered.left, band.bottom}, target);
        }
        uploadComposed(covered, target);
        if (covered.right < band.right) {
            uploadFromScreen(RECT{covered.right, band.top, band.right, band.bottom}, target);
        }
    }
}

void Device::State::uploadFromScreen(const RECT& area, const Target& target) {
    std::lock_guard guard(screenMutex);
    RECT inside{};
    if (!intersect(area, RECT{0, 0, width, height}, inside)) { // a rotation may have come between
        return;
    }
    const ptrdiff_t start = static_cast<ptrdiff_t>(inside.top) * width + inside.left;
    if (target.upload != nullptr) {
        (*target.upload)(inside, pixels.data() + start, width);
    } else if (target.picture->size() == pixels.size()) {
        copyRows(pixels.data() + start, width, target.picture->data() + start, width,
                 inside.right - inside.left, inside.bottom - inside.top);
    }
}

void Device::State::uploadComposed(const RECT& requested, const Target& target) {
    // Under one opaque layer (the scroll bar) the screen is not fetched. Should that layer hide
    // before it paints, this present shows it once more: its hiding asks for the next one.
    bool coveredWhole = false;
    {
        std::lock_guard guard(layersMutex);
        for (Layer* layer : layers) {
            coveredWhole |=
                layer->opaque() && layer->visible() && contains(layer->bounds(), requested);
        }
    }
    // A picture of the backend's own is composed in place; an upload gets the scratch buffer.
    std::vector<std::uint16_t>& frame = target.upload != nullptr ? scratch : *target.picture;
    RECT area{};
    int pitch = 0;
    {
        std::lock_guard guard(screenMutex);
        pitch = width;
        if (!intersect(requested, RECT{0, 0, width, height}, area)) {
            return;
        }
        if (target.upload != nullptr) {
            scratch.resize(pixels.size());
        } else if (frame.size() != pixels.size()) { // rotated since the present began
            return;
        }
        if (!coveredWhole) {
            const ptrdiff_t start = static_cast<ptrdiff_t>(area.top) * pitch + area.left;
            copyRows(pixels.data() + start, pitch, frame.data() + start, pitch,
                     area.right - area.left, area.bottom - area.top);
        }
    }
    {
        std::lock_guard guard(layersMutex);
        std::vector<Layer*> ordered = layers;
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](Layer* a, Layer* b) { return a->zOrder() < b->zOrder(); });
        for (Layer* layer : ordered) {
            RECT clip{};
            if (layer->visible() && intersect(layer->bounds(), area, clip)) {
                layer->paint(frame.data(), pitch, clip);
            }
        }
    }
    if (target.upload != nullptr) {
        (*target.upload)(
            area, scratch.data() + static_cast<ptrdiff_t>(area.top) * pitch + area.left, pitch);
    }
}

void Device::pointer(PointerAction action, int x, int y) {
    std::function<bool(PointerAction, int, int)> filter;
    bool toFilter = false;
    {
        std::lock_guard guard(state_->pointerMutex);
        filter = state_->pointerFilter;
        if (action == PointerAction::down) {
            state_->pressed = true;
            state_->pressInFilter = false;
        } else if (!state_->pressed) {
            return; // a stylus only moves while it touches the screen
        }
        toFilter = state_->pressInFilter;
        if (action == PointerAction::up) {
            state_->pressed = false;
            state_->pressInFilter = false;
        }
    }
    if (action == PointerAction::down) {
        if (filter && filter(action, x, y)) {
            std::lock_guard guard(state_->pointerMutex);
            state_->pressInFilter = true; // the rest of this touch belongs to the filter
            return;
        }
    } else if (toFilter) {
        if (filter) {
            filter(action, x, y);
        }
        return;
    }
    user::routePointer(action, x, y);
}

void Device::setPointerFilter(std::function<bool(PointerAction, int x, int y)> filter) {
    std::lock_guard guard(state_->pointerMutex);
    state_->pointerFilter = std::move(filter);
}

void Device::key(UINT virtualKey, bool down) {
    user::routeKey(virtualKey, down);
}
void Device::character(wchar_t c) {
    user::routeCharacter(c);
}

Backend& Device::backend() {
    return *state_->backend;
}

std::vector<Device::MessageBoxRecord> Device::messageBoxes() const {
    std::lock_guard guard(state_->boxesMutex);
    return state_->boxes;
}

void Device::recordMessageBox(MessageBoxRecord record) {
    std::lock_guard guard(state_->boxesMutex);
    state_->boxes.push_back(std::move(record));
}

int Device::messageBoxAnswer() const {
    return state_->boxAnswer;
}

void Device::setCursor(bool wait) {
    state_->waitCursor = wait;
    state_->backend->setCursor(wait);
}
bool Device::waitCursorShown() const {
    return state_->waitCursor;
}

std::wstring Device::clipboardText() {
    return state_->backend->clipboardText();
}
void Device::setClipboardText(const std::wstring& text) {
    state_->backend->setClipboardText(text);
}

bool Device::saveScreenshot(const std::filesystem::path& file) {
    const int w = width();
    const int h = height();
    const std::vector<std::uint16_t> screen = compose(RECT{0, 0, w, h});
    if (screen.size() != static_cast<size_t>(w) * h) {
        return false;
    }
    std::vector<std::uint8_t> rgb(screen.size() * 3);
    for (size_t i = 0; i < screen.size(); ++i) {
        const std::uint16_t p = screen[i];
        rgb[i * 3] = static_cast<std::uint8_t>(((p >> 11) & 0x1F) * 255 / 31);
        rgb[i * 3 + 1] = static_cast<std::uint8_t>(((p >> 5) & 0x3F) * 255 / 63);
        rgb[i * 3 + 2] = static_cast<std::uint8_t>((p & 0x1F) * 255 / 31);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGB;
    const bool written =
        png_image_write_to_file(&image, file.c_str(), 0, rgb.data(), w * 3, nullptr) != 0;
    if (!written) {
        std::fprintf(stderr, "Dawnbell: screenshot %s not written: %s\n", file.c_str(),
                     image.message);
    }
    png_image_free(&image);
    return written;
}

} // namespace platform
