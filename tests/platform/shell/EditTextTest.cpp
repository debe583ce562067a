// The one-line text model behind the EDIT control: deletion at the ends, the limit, pasting.
#include "shell/EditText.h"

#include <gtest/gtest.h>

using platform::shell::EditText;
using platform::shell::pastableText;

TEST(EditText, CaretAndDeletionStopAtTheEnds) {
    EditText text;
    text.setText(L"ab");
    text.setCaret(99);
    EXPECT_EQ(text.caret(), 2u) << "caret placement is clamped to the text";
    EXPECT_FALSE(text.deleteForward());
    text.moveHome();
    EXPECT_FALSE(text.backspace());
    EXPECT_TRUE(text.deleteForward());
    EXPECT_EQ(text.text(), L"b");
    text.moveEnd();
    EXPECT_TRUE(text.backspace());
    EXPECT_EQ(text.text(), L"");
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

TEST(PastableText, TakesTheFirstLineWithoutControlCharacters) {
    EXPECT_EQ(pastableText(L"192.168.1.20\r\nsecond"), L"192.168.1.20");
    EXPECT_EQ(pastableText(L"00:11\t22\x7f:33\n"), L"00:1122:33");
    EXPECT_EQ(pastableText(L"\nall on the next line"), L"");
}
