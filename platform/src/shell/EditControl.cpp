// The native one-line EDIT control: its text is the window's text; it types at a caret, moves
// the caret with the cursor keys and taps, pastes the clipboard's text and scrolls sideways to
// keep the caret in view. It draws itself as a layer over the screen in its window's rectangle
// while the window is shown.
#include "gdi/BufferDC.h"
#include "platform/Device.h"
#include "shell/Canvas.h"
#include "shell/EditText.h"
#include "shell/Shell.h"
#include "user/SystemClasses.h"
#include "windows.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace platform::shell {
namespace {

constexpr UINT_PTR caretTimer = 0xCA7E;
constexpr UINT caretBlinkMs = 500;
constexpr int kEditZOrder = 150; // above the task bar, below the input panel

constexpr Colour fieldColour{255, 255, 255};
constexpr Colour borderColour{122, 128, 138};
constexpr Colour focusBorderColour{59, 130, 246};
constexpr Colour caretColour{0, 0, 0};

int scaled(int pixelsAt96, int dpi) {
    return std::max(1, (pixelsAt96 * dpi + 48) / 96);
}

// Measures text in a device context's default font.
class TextMeasure {
public:
    TextMeasure() : dc_(gdi::createBufferDC(&pixel_, 1, 1, 1)) {}
    ~TextMeasure() { gdi::deleteBufferDC(dc_); }
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    int width(std::wstring_view text) {
        if (text.empty())
            return 0;
        RECT r{0, 0, 0, 0};
        DrawTextW(dc_, text.data(), static_cast<int>(text.size()), &r,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        return r.right - r.left;
    }
    int lineHeight() {
        RECT r{0, 0, 0, 0};
        return DrawTextW(dc_, L"Ag", 2, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    }

private:
    std::uint16_t pixel_ = 0;
    HDC dc_;
};

// Pixel sizes of a field at a resolution. Only a window made with WS_BORDER has a frame and a
// margin inside it, with its line centred; a bare window puts its line at its top left corner,
// so that an editor laid over text drawn elsewhere shows it where it was.
struct FieldMetrics {
    int border;
    int padding;
    int caretWidth;
    FieldMetrics(int dpi, bool bordered)
        : border(bordered ? scaled(1, dpi) : 0), padding(bordered ? scaled(3, dpi) : 0),
          caretWidth(scaled(1, dpi)) {}
    int textLeft() const { return border + padding; }
    int textWidth(int fieldWidth) const { return std::max(0, fieldWidth - 2 * (border + padding)); }
};

// One EDIT window: its text and caret (changed on the window's thread) and its picture (drawn on
// the presenting thread). The lock guards what both sides read.
class EditField final : public Layer {
public:
    explicit EditField(bool bordered) : bordered_(bordered) {}

    // ---- the window's thread ----
    void setText(std::wstring_view text) {
        std::lock_guard lock(mutex_);
        text_.setText(text);
        followCaret();
    }
    std::wstring text() {
        std::lock_guard lock(mutex_);
        return text_.text();
    }
    // Runs an edit of the text; true if the text changed.
    template <typename Edit>
    bool edit(Edit&& change) {
        std::lock_guard lock(mutex_);
        const std::wstring before = text_.text();
        change(text_);
        caretOn_ = true;
        followCaret();
        return text_.text() != before;
    }
    void placeCaretAt(int clientX) {
        std::lock_guard lock(mutex_);
        const int x = clientX - metrics().textLeft() + scroll_;
        // Prefix widths grow with the length: look for the gap nearest to x.
        std::size_t low = 0;
        std::size_t high = text_.text().size();
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            if (measure_.width(std::wstring_view(text_.text()).substr(0, middle + 1)) <= x)
                low = middle + 1;
            else
                high = middle;
        }
        if (low < text_.text().size()) {
            const int before = measure_.width(std::wstring_view(text_.text()).substr(0, low));
            const int after = measure_.width(std::wstring_view(text_.text()).substr(0, low + 1));
            if (x - before > after - x)
                ++low;
        }
        text_.setCaret(low);
        caretOn_ = true;
        followCaret();
    }
    void setShown(bool shown) {
        std::lock_guard lock(mutex_);
        shown_ = shown;
        stale_ = true;
    }
    void setFocused(bool focused) {
        std::lock_guard lock(mutex_);
        focused_ = focused;
        caretOn_ = true;
        stale_ = true;
    }
    void blink() {
        std::lock_guard lock(mutex_);
        caretOn_ = !caretOn_;
        stale_ = true;
    }
    void setRect(const RECT& rect) {
        std::lock_guard lock(mutex_);
        rect_ = rect;
        followCaret();
    }
    bool shown() const {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    bool focused() const {
        std::lock_guard lock(mutex_);
        return focused_;
    }

    // ---- Layer, on the presenting thread ----
    int zOrder() const override { return kEditZOrder; }
    bool visible() const override { return shown(); }
    RECT bounds() const override {
        std::lock_guard lock(mutex_);
        return rect_;
    }
    void paint(std::uint16_t* frame, int pitch, const RECT& clip) override {
        std::lock_guard lock(mutex_);
        if (stale_)
            render();
        const int width = rect_.right - rect_.left;
        const int left = std::max(clip.left, rect_.left);
        const int right = std::min(clip.right, rect_.right);
        for (int y = std::max(clip.top, rect_.top); y < std::min(clip.bottom, rect_.bottom); ++y) {
            const std::uint16_t* source = image_.data() +
                                          static_cast<std::size_t>(y - rect_.top) * width +
                                          (left - rect_.left);
            std::copy(source, source + (right - left),
                      frame + static_cast<std::size_t>(y) * pitch + left);
        }
    }

private:
    FieldMetrics metrics() const {
        return FieldMetrics(Device::running() ? Device::instance().dpi() : 96, bordered_);
    }

    // Keeps the caret inside the visible part of the text (with the lock held).
    void followCaret() {
        const FieldMetrics m = metrics();
        const int room = std::max(0, m.textWidth(rect_.right - rect_.left) - m.caretWidth);
        const std::wstring_view text = text_.text();
        const int caretX = measure_.width(text.substr(0, text_.caret()));
        if (caretX - scroll_ > room)
            scroll_ = caretX - room;
        if (caretX < scroll_)
            scroll_ = caretX;
        const int total = measure_.width(text);
        if (total - scroll_ < room)
            scroll_ = std::max(0, total - room); // no empty space at the right while scrolled
        caretX_ = caretX;
        stale_ = true;
    }

    void render() {
        stale_ = false;
        const int width = rect_.right - rect_.left;
        const int height = rect_.bottom - rect_.top;
        image_.assign(static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0), 0);
        if (width <= 0 || height <= 0)
            return;
        const FieldMetrics m = metrics();
        Canvas canvas(image_.data(), width, height, width);
        canvas.fill({0, 0, width, height}, fieldColour);
        if (m.border > 0) {
            canvas.frame({0, 0, width, height}, m.border,
                         focused_ ? focusBorderColour : borderColour);
        }

        const int innerWidth = width - 2 * m.border;
        const int innerHeight = height - 2 * m.border;
        if (innerWidth <= 0 || innerHeight <= 0)
            return;
        std::uint16_t* inner = image_.data() + m.border * width + m.border;
        HDC dc = gdi::createBufferDC(inner, innerWidth, innerHeight, width);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        RECT line{m.padding - scroll_, 0, m.padding - scroll_ + caretX_ + width * 4, innerHeight};
        const std::wstring& text = text_.text();
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line,
                  DT_LEFT | (bordered_ ? DT_VCENTER : DT_TOP) | DT_SINGLELINE | DT_NOPREFIX);
        gdi::deleteBufferDC(dc);

        if (focused_ && caretOn_) {
            const int lineHeight = std::min(measure_.lineHeight(), innerHeight);
            const int x = m.textLeft() + caretX_ - scroll_;
            const int top = bordered_ ? m.border + (innerHeight - lineHeight) / 2 : 0;
            canvas.fill({x, top, x + m.caretWidth, top + lineHeight}, caretColour);
        }
    }

    const bool bordered_;
    mutable std::mutex mutex_;
    EditText text_;
    TextMeasure measure_;
    RECT rect_{};
    int scroll_ = 0;
    int caretX_ = 0;
    bool shown_ = false;
    bool focused_ = false;
    bool caretOn_ = true;
    bool stale_ = true;
    std::vector<std::uint16_t> image_;
};

class EditFields {
public:
    static EditFields& instance() {
        static auto* fields = new EditFields; // window procedures may run during exit
        return *fields;
    }
    EditField* add(HWND window, bool bordered) {
        std::lock_guard lock(mutex_);
        auto& slot = fields_[window];
        slot = std::make_unique<EditField>(bordered);
        return slot.get();
    }
    EditField* find(HWND window) {
        std::lock_guard lock(mutex_);
        const auto found = fields_.find(window);
        return found == fields_.end() ? nullptr : found->second.get();
    }
    std::unique_ptr<EditField> take(HWND window) {
        std::lock_guard lock(mutex_);
        const auto found = fields_.find(window);
        if (found == fields_.end())
            return nullptr;
        auto field = std::move(found->second);
        fields_.erase(found);
        return field;
    }
    void clear() {
        std::map<HWND, std::unique_ptr<EditField>> gone;
        std::lock_guard lock(mutex_);
        gone.swap(fields_);
    }

private:
    std::mutex mutex_;
    std::map<HWND, std::unique_ptr<EditField>> fields_;
};

void notifyParent(HWND window, WORD code) {
    const HWND parent = GetParent(window);
    if (parent != nullptr)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code),
                     reinterpret_cast<LPARAM>(window));
}

void refresh(EditField& field) {
    if (field.shown() && Device::running())
        Device::instance().invalidate(field.bounds());
}

// Keeps the window's text (what WM_GETTEXT and GetWindowTextW read) equal to the field's.
void textChanged(HWND window, EditField& field) {
    const std::wstring text = field.text();
    DefWindowProcW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    refresh(field);
    notifyParent(window, EN_CHANGE);
}

void edit(HWND window, EditField& field, void (*change)(EditText&)) {
    const bool changed = field.edit(change);
    if (changed)
        textChanged(window, field);
    else
        refresh(field);
}

void paste(HWND window, EditField& field) {
    if (!Device::running())
        return;
    const std::wstring text = pastableText(Device::instance().clipboardText());
    if (field.edit([&text](EditText& t) { t.insert(text); }))
        textChanged(window, field);
}

void restartBlink(HWND window, EditField& field) {
    if (field.shown() && field.focused())
        SetTimer(window, caretTimer, caretBlinkMs, nullptr);
    else
        KillTimer(window, caretTimer);
}

void followWindow(HWND window, EditField& field) {
    RECT before = field.bounds();
    RECT rect{};
    if (GetWindowRect(window, &rect))
        field.setRect(rect);
    if (field.shown() && Device::running()) {
        Device::instance().invalidate(before);
        Device::instance().invalidate(rect);
    }
}

void show(HWND window, EditField& field, bool shown) {
    field.setShown(shown);
    if (Device::running()) {
        Device& device = Device::instance();
        device.removeLayer(&field);
        if (shown) {
            followWindow(window, field);
            device.addLayer(&field);
        }
    }
    restartBlink(window, field);
}

LRESULT onKeyDown(HWND window, EditField& field, WPARAM key, bool& control) {
    switch (key) {
    case VK_LEFT:
        edit(window, field, [](EditText& t) { t.moveLeft(); });
        break;
    case VK_RIGHT:
        edit(window, field, [](EditText& t) { t.moveRight(); });
        break;
    case VK_HOME:
        edit(window, field, [](EditText& t) { t.moveHome(); });
        break;
    case VK_END:
        edit(window, field, [](EditText& t) { t.moveEnd(); });
        break;
    case VK_DELETE:
        edit(window, field, [](EditText& t) { t.deleteForward(); });
        break;
    case VK_CONTROL:
        control = true;
        break;
    case 'V':
        if (control)
            paste(window, field);
        break;
    default:
        break;
    }
    return 0;
}

LRESULT onCharacter(HWND window, EditField& field, wchar_t c) {
    constexpr wchar_t backspace = 0x08;
    constexpr wchar_t pasteKey = 0x16; // Ctrl+V
    if (c == backspace) {
        edit(window, field, [](EditText& t) { t.backspace(); });
    } else if (c == pasteKey) {
        paste(window, field);
    } else if (c >= 0x20 && c != 0x7f) {
        if (field.edit([c](EditText& t) { t.insert(std::wstring_view(&c, 1)); }))
            textChanged(window, field);
    }
    restartBlink(window, field);
    return 0;
}

// Whether Ctrl is held, per thread (keys reach the focus window of one thread).
thread_local bool controlDown = false;

LRESULT CALLBACK editWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        EditField* field = EditFields::instance().add(window, create != nullptr &&
                                                                  (create->style & WS_BORDER) != 0);
        if (create != nullptr && create->lpszName != nullptr)
            field->setText(create->lpszName);
        followWindow(window, *field);
        return 0;
    }
    EditField* field = EditFields::instance().find(window);
    if (field == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY: {
        KillTimer(window, caretTimer);
        auto gone = EditFields::instance().take(window);
        if (Device::running())
            Device::instance().removeLayer(gone.get());
        return 0;
    }
    case WM_SETTEXT: {
        const auto* text = reinterpret_cast<LPCWSTR>(lParam);
        field->setText(text != nullptr ? text : L"");
        DefWindowProcW(window, message, wParam, lParam);
        refresh(*field);
        return TRUE;
    }
    case WM_CHAR:
        return onCharacter(window, *field, static_cast<wchar_t>(wParam));
    case WM_KEYDOWN:
        return onKeyDown(window, *field, wParam, controlDown);
    case WM_KEYUP:
        if (wParam == VK_CONTROL)
            controlDown = false;
        return 0;
    case WM_LBUTTONDOWN:
        if (GetFocus() != window)
            SetFocus(window);
        field->placeCaretAt(static_cast<SHORT>(LOWORD(lParam)));
        refresh(*field);
        restartBlink(window, *field);
        return 0;
    case WM_SETFOCUS:
        field->setFocused(true);
        restartBlink(window, *field);
        refresh(*field);
        notifyParent(window, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        field->setFocused(false);
        controlDown = false;
        restartBlink(window, *field);
        refresh(*field);
        notifyParent(window, EN_KILLFOCUS);
        return 0;
    case WM_TIMER:
        if (wParam == caretTimer) {
            field->blink();
            refresh(*field);
        }
        return 0;
    case WM_SHOWWINDOW:
        show(window, *field, wParam != FALSE);
        return 0;
    case WM_WINDOWPOSCHANGED:
        followWindow(window, *field);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

void registerEditClass() {
    static const bool registered = [] {
        WNDCLASSW editClass{};
        editClass.lpfnWndProc = editWindowProc;
        editClass.lpszClassName = L"EDIT";
        platform::user::registerSystemClass(editClass);
        return true;
    }();
    (void)registered;
}

void forgetEditFields() {
    EditFields::instance().clear();
}

} // namespace platform::shell
