#include "shell/EditText.h"

#include <algorithm>
#include <iterator>

namespace platform::shell {

void EditText::setText(std::wstring_view text) {
    text_.assign(text);
    caret_ = text_.size();
}

bool EditText::insert(std::wstring_view text) {
    const std::size_t room = limit_ > text_.size() ? limit_ - text_.size() : 0;
    const std::wstring_view taken = text.substr(0, room);
    if (taken.empty())
        return false;
    text_.insert(caret_, taken);
    caret_ += taken.size();
    return true;
}

bool EditText::backspace() {
    if (caret_ == 0)
        return false;
    text_.erase(--caret_, 1);
    return true;
}

bool EditText::deleteForward() {
    if (caret_ >= text_.size())
        return false;
    text_.erase(caret_, 1);
    return true;
}

void EditText::moveLeft() {
    if (caret_ > 0)
        --caret_;
}

void EditText::moveRight() {
    if (caret_ < text_.size())
        ++caret_;
}

std::wstring pastableText(std::wstring_view clipboard) {
    const auto lineEnd = clipboard.find_first_of(L"\r\n");
    const std::wstring_view line = clipboard.substr(0, lineEnd);
    std::wstring result;
    std::copy_if(line.begin(), line.end(), std::back_inserter(result),
                 [](wchar_t c) { return c >= 0x20 && c != 0x7f; });
    return result;
}

} // namespace platform::shell
