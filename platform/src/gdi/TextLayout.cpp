#include "gdi/TextLayout.h"

#include "wingdi.h"

#include <string>

namespace platform::gdi {
namespace {

bool isBreak(wchar_t c) {
    return c == L'\r' || c == L'\n';
}

std::size_t paragraphEnd(std::wstring_view text, std::size_t from) {
    while (from < text.size() && !isBreak(text[from])) {
        ++from;
    }
    return from;
}

// Characters past one line break (a CR LF or LF CR pair counts once).
std::size_t skipBreak(std::wstring_view text, std::size_t at) {
    if (at + 1 < text.size() && isBreak(text[at + 1]) && text[at + 1] != text[at]) {
        return at + 2;
    }
    return at + 1;
}

class WordBreaker {
public:
    WordBreaker(std::wstring_view text, int maxWidth, const MeasureFn& width,
                std::vector<LineSpan>& lines)
        : text_(text), maxWidth_(maxWidth), width_(width), lines_(lines) {}

    void breakParagraph(std::size_t begin, std::size_t end) {
        std::size_t start = begin;
        while (true) {
            const std::size_t overflow = firstOverflow(start, end);
            if (overflow == end) {
                lines_.push_back({start, end});
                return;
            }
            start = splitAt(start, overflow, end);
            if (start >= end) {
                return;
            }
        }
    }

private:
    std::size_t firstOverflow(std::size_t start, std::size_t end) const {
        for (std::size_t i = start; i < end; ++i) {
            if (width_(start, i + 1) > maxWidth_) {
                return i;
            }
        }
        return end;
    }

    // Ends the line that starts at `start` and does not fit from `overflow` on; returns where
    // the next line starts.
    std::size_t splitAt(std::size_t start, std::size_t overflow, std::size_t end) {
        if (text_[overflow] == L' ') {
            lines_.push_back({start, overflow});
            return overflow + 1;
        }
        for (std::size_t k = overflow; k > start + 1; --k) {
            if (text_[k - 1] == L' ') {
                lines_.push_back({start, k - 1});
                return k;
            }
        }
        std::size_t wordEnd = overflow;
        while (wordEnd < end && text_[wordEnd] != L' ') {
            ++wordEnd;
        }
        lines_.push_back({start, wordEnd});
        return wordEnd < end ? wordEnd + 1 : end;
    }

    std::wstring_view text_;
    int maxWidth_;
    const MeasureFn& width_;
    std::vector<LineSpan>& lines_;
};

} // namespace

std::vector<LineSpan> breakLines(std::wstring_view text, UINT format, int maxWidth,
                                 const MeasureFn& width) {
    std::vector<LineSpan> lines;
    if (format & DT_SINGLELINE) {
        lines.push_back({0, text.size()});
        return lines;
    }
    WordBreaker breaker(text, maxWidth, width, lines);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = paragraphEnd(text, pos);
        if (format & DT_WORDBREAK) {
            breaker.breakParagraph(pos, end);
        } else {
            lines.push_back({pos, end});
        }
        pos = end < text.size() ? skipBreak(text, end) : end;
    }
    return lines;
}

std::wstring removePrefixes(std::wstring_view text, UINT format) {
    if (format & DT_NOPREFIX) {
        return std::wstring(text);
    }
    std::wstring shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) {
            ++i;
        }
        shown.push_back(text[i]);
    }
    return shown;
}

} // namespace platform::gdi
