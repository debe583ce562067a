// The one-line text model behind the EDIT control: caret moves, typing, deletion, the limit.
#include "shell/EditText.h"

#include <gtest/gtest.h>

using platform::shell::EditText;
using platform::shell::pastableText;

TEST(EditText, TypesAtTheCaretAndMovesIt) {
    EditText text;
    text.setText(L"abc");
    EXPECT_EQ(text.caret(), 3u) << "the caret follows a new text";
    text.moveLeft();
    text.moveLeft();
    EXPECT_TRUE(text.insert(L"X"));
    EXPECT_EQ(text.text(), L"aXbc");
    EXPECT_EQ(text.caret(), 2u);
    text.moveHome();
    text.insert(L"Y");
    text.moveEnd();
    text.insert(L"Z");
    EXPECT_EQ(text.text(), L"YaXbcZ");
}

TEST(EditText, BackspaceAndDeleteStopAtTheEnds) {
    EditText text;
    text.setText(L"ab");
    text.moveHome();
    EXPECT_FALSE(text.backspace());
    EXPECT_TRUE(text.deleteForward());
    EXPECT_EQ(text.text(), L"b");
    text.moveEnd();
    EXPECT_FALSE(text.deleteForward());
    EXPECT_TRUE(text.backspace());
    EXPECT_EQ(text.text(), L"");
    EXPECT_EQ(text.caret(), 0u);
    text.moveLeft();
    text.moveRight();
    EXPECT_EQ(text.caret(), 0u);
}

TEST(EditText, TypingStopsAtTheLimitButANewTextDoesNot) {
    EditText text(5);
    text.setText(L"abcd");
    EXPECT_TRUE(text.insert(L"efgh"));
    EXPECT_EQ(text.text(), L"abcde");
    EXPECT_FALSE(text.insert(L"x"));
    text.setText(L"0123456789");
    EXPECT_EQ(text.text(), L"0123456789");
    EXPECT_FALSE(text.insert(L"x"));
}

TEST(EditText, CaretPlacementIsClampedToTheText) {
    EditText text;
    text.setText(L"abc");
    text.setCaret(99);
    EXPECT_EQ(text.caret(), 3u);
}

TEST(PastableText, TakesTheFirstLineWithoutControlCharacters) {
    EXPECT_EQ(pastableText(L"192.168.1.20\r\nsecond"), L"192.168.1.20");
    EXPECT_EQ(pastableText(L"00:11\t22\x7f:33\n"), L"00:1122:33");
    EXPECT_EQ(pastableText(L"\nall on the next line"), L"");
    EXPECT_EQ(pastableText(L""), L"");
}
