// DrawTextW's line breaking, measured with a fixed 10 pixels per character so that every split
// can be worked out by hand.
#include "gdi/TextLayout.h"
#include "wingdi.h"

#include <gtest/gtest.h>

#include <string>

using platform::gdi::breakLines;
using platform::gdi::LineSpan;

namespace {

using Lines = std::vector<std::wstring>;

Lines linesOf(const std::wstring& text, UINT format, int maxWidth) {
    const auto spans = breakLines(text, format, maxWidth, [](std::size_t b, std::size_t e) {
        return static_cast<int>(e - b) * 10;
    });
    Lines lines;
    for (const LineSpan& span : spans)
        lines.push_back(text.substr(span.begin, span.end - span.begin));
    return lines;
}

struct Breaking {
    std::wstring text;
    UINT format;
    int maxWidth;
    Lines expected;
};

const Breaking breakingRules[] = {
    // Word breaking walks back to the last space and swallows it; spaces that fit stay on the
    // line; a word wider than the rectangle overflows unsplit.
    {L"aaa bbb", DT_WORDBREAK, 70, {L"aaa bbb"}},
    {L"aaa bbb ccc", DT_WORDBREAK, 65, {L"aaa", L"bbb", L"ccc"}},
    {L"aaa bbb ccc", DT_WORDBREAK, 70, {L"aaa bbb", L"ccc"}},
    {L"aa  bbbb", DT_WORDBREAK, 55, {L"aa ", L"bbbb"}},
    {L"aaaaa bbb", DT_WORDBREAK, 50, {L"aaaaa", L"bbb"}},
    {L"a verylongword b", DT_WORDBREAK, 50, {L"a", L"verylongword", L"b"}},
    {L"verylongword", DT_WORDBREAK, 1, {L"verylongword"}},
    // CR LF and LF CR are one break, two LF or two CR are two; a final break adds no line.
    {L"a\r\nb", 0, 100, {L"a", L"b"}},
    {L"a\n\rb", 0, 100, {L"a", L"b"}},
    {L"a\n\nb", 0, 100, {L"a", L"", L"b"}},
    {L"a\r\rb", 0, 100, {L"a", L"", L"b"}},
    {L"a\r\n\r\nb", DT_WORDBREAK, 100, {L"a", L"", L"b"}},
    {L"a\n", 0, 100, {L"a"}},
    {L"\n", 0, 100, {L""}},
    {L"", DT_WORDBREAK, 100, {}},
    // Without word breaking lines are never split; a single line ignores breaks and width;
    // each paragraph breaks afresh.
    {L"aaa bbb ccc", 0, 30, {L"aaa bbb ccc"}},
    {L"aaa\r\nbbb ccc", DT_SINGLELINE | DT_WORDBREAK, 30, {L"aaa\r\nbbb ccc"}},
    {L"", DT_SINGLELINE, 30, {L""}},
    {L"aaa bbb\nccc ddd", DT_WORDBREAK, 40, {L"aaa", L"bbb", L"ccc", L"ddd"}},
};

TEST(LineBreaking, FollowsThePlatformsRules) {
    for (const Breaking& rule : breakingRules) {
        EXPECT_EQ(linesOf(rule.text, rule.format, rule.maxWidth), rule.expected)
            << ::testing::PrintToString(rule.text) << " in " << rule.maxWidth;
    }
}

TEST(Prefixes, AmpersandsAreRemovedUnlessNoPrefix) {
    EXPECT_EQ(platform::gdi::removePrefixes(L"&Quit && go&", 0), L"Quit & go&");
    EXPECT_EQ(platform::gdi::removePrefixes(L"&Quit", DT_NOPREFIX), L"&Quit");
}

} // namespace
