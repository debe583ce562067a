// The text of a one-line edit control and its caret, as characters (no drawing).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::shell {

class EditText {
public:
    // The platform's default limit of a one-line edit control.
    static constexpr std::size_t defaultLimit = 30000;

    explicit EditText(std::size_t limit = defaultLimit) : limit_(limit) {}

    const std::wstring& text() const { return text_; }
    std::size_t caret() const { return caret_; }

    // Replaces the text and puts the caret after it. As on the platform, the limit applies to
    // typing and pasting only.
    void setText(std::wstring_view text);
    // Inserts at the caret as much as the limit leaves room for; false if nothing changed.
    bool insert(std::wstring_view text);
    bool backspace();
    bool deleteForward();
    void moveLeft();
    void moveRight();
    void moveHome() { caret_ = 0; }
    void moveEnd() { caret_ = text_.size(); }
    void setCaret(std::size_t position) { caret_ = std::min(position, text_.size()); }

private:
    std::wstring text_;
    std::size_t caret_ = 0;
    std::size_t limit_;
};

// What a paste into a one-line field takes from the clipboard's text: its first line, without
// control characters.
std::wstring pastableText(std::wstring_view clipboard);

} // namespace platform::shell
