// DrawTextW's line breaking, measured with a fixed 10 pixels per character so that every split
// can be worked out by hand.
#include "gdi/TextLayout.h"
#include "wingdi.h"

#include <gtest/gtest.h>

#include <string>

using platform::gdi::breakLines;
using platform::gdi::LineSpan;

namespace {

std::vector<std::wstring> linesOf(const std::wstring& text, UINT format, int maxWidth) {
    const auto spans = breakLines(text, format, maxWidth, [](std::size_t b, std::size_t e) {
        return static_cast<int>(e - b) * 10;
    });
    std::vector<std::wstring> lines;
    for (const LineSpan& span : spans) {
        lines.push_back(text.substr(span.begin, span.end - span.begin));
    }
    return lines;
}

using Lines = std::vector<std::wstring>;

TEST(LineBreaking, TextThatFitsStaysOnOneLine) {
    EXPECT_EQ(linesOf(L"aaa bbb", DT_WORDBREAK, 70), Lines{L"aaa bbb"});
}

TEST(LineBreaking, WordBreakWalksBackToTheLastSpaceAndConsumesIt) {
    EXPECT_EQ(linesOf(L"aaa bbb ccc", DT_WORDBREAK, 65), (Lines{L"aaa", L"bbb", L"ccc"}));
    EXPECT_EQ(linesOf(L"aaa bbb ccc", DT_WORDBREAK, 70), (Lines{L"aaa bbb", L"ccc"}));
}

TEST(LineBreaking, SpacesThatFitStayOnTheLine) {
    EXPECT_EQ(linesOf(L"aa  bbbb", DT_WORDBREAK, 55), (Lines{L"aa ", L"bbbb"}));
}

TEST(LineBreaking, ASpaceThatDoesNotFitEndsTheLineAndIsSwallowed) {
    EXPECT_EQ(linesOf(L"aaaaa bbb", DT_WORDBREAK, 50), (Lines{L"aaaaa", L"bbb"}));
}

TEST(LineBreaking, AWordWiderThanTheRectangleOverflowsUnsplit) {
    EXPECT_EQ(linesOf(L"a verylongword b", DT_WORDBREAK, 50), (Lines{L"a", L"verylongword", L"b"}));
    EXPECT_EQ(linesOf(L"verylongword", DT_WORDBREAK, 1), Lines{L"verylongword"});
}

TEST(LineBreaking, CrLfAndLfCrAreOneBreakButTwoLfAreTwo) {
    EXPECT_EQ(linesOf(L"a\r\nb", 0, 100), (Lines{L"a", L"b"}));
    EXPECT_EQ(linesOf(L"a\n\rb", 0, 100), (Lines{L"a", L"b"}));
    EXPECT_EQ(linesOf(L"a\n\nb", 0, 100), (Lines{L"a", L"", L"b"}));
    EXPECT_EQ(linesOf(L"a\r\rb", 0, 100), (Lines{L"a", L"", L"b"}));
    EXPECT_EQ(linesOf(L"a\r\n\r\nb", DT_WORDBREAK, 100), (Lines{L"a", L"", L"b"}));
}

TEST(LineBreaking, ABreakAtTheEndAddsNoLine) {
    EXPECT_EQ(linesOf(L"a\n", 0, 100), Lines{L"a"});
    EXPECT_EQ(linesOf(L"\n", 0, 100), Lines{L""});
    EXPECT_EQ(linesOf(L"", DT_WORDBREAK, 100), Lines{});
}

TEST(LineBreaking, WithoutWordBreakLongLinesAreNotSplit) {
    EXPECT_EQ(linesOf(L"aaa bbb ccc", 0, 30), Lines{L"aaa bbb ccc"});
}

TEST(LineBreaking, SingleLineIgnoresBreaksAndWidth) {
    EXPECT_EQ(linesOf(L"aaa\r\nbbb ccc", DT_SINGLELINE | DT_WORDBREAK, 30),
              Lines{L"aaa\r\nbbb ccc"});
    EXPECT_EQ(linesOf(L"", DT_SINGLELINE, 30), Lines{L""});
}

TEST(LineBreaking, BreaksWithinParagraphsStartAfresh) {
    EXPECT_EQ(linesOf(L"aaa bbb\nccc ddd", DT_WORDBREAK, 40),
              (Lines{L"aaa", L"bbb", L"ccc", L"ddd"}));
}

TEST(Prefixes, AmpersandsAreRemovedUnlessNoPrefix) {
    EXPECT_EQ(platform::gdi::removePrefixes(L"&Quit && go&", 0), L"Quit & go&");
    EXPECT_EQ(platform::gdi::removePrefixes(L"&Quit", DT_NOPREFIX), L"&Quit");
}

} // namespace
