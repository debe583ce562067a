// Typing with a finger alone: taps on the input panel's keys reach the focused EDIT window.
#include "ShellTestSupport.h"
#include "aygshell.h"

using namespace shelltest;
using platform::shell::KeyKind;

namespace {

class PanelTypingTest : public EditFieldTest {
protected:
    void SetUp() override {
        EditFieldTest::SetUp();
        ASSERT_TRUE(SipShowIM(SIPF_ON));
    }
};

} // namespace

TEST_F(PanelTypingTest, KeysTypeIntoTheFocusedEditWhileTapsAboveReachTheWindows) {
    typeOnPanel(L"192.168.1.20 00:1a-2b");
    EXPECT_EQ(textOf(edit), L"192.168.1.20 00:1a-2b");
    tap(41, 230); // the edit's left edge: the caret goes to the start
    platform::pumpMessages();
    typeOnPanel(L"x");
    EXPECT_EQ(textOf(edit), L"x192.168.1.20 00:1a-2b");
}

TEST_F(PanelTypingTest, ShiftCapitalisesOneLetterAndBackspaceRemovesTheLast) {
    tapKey(keyOfKind(KeyKind::shift));
    EXPECT_TRUE(platform::shell::keyboard().shifted());
    typeOnPanel(L"ab");
    EXPECT_EQ(textOf(edit), L"Ab");
    EXPECT_FALSE(platform::shell::keyboard().shifted());
    tapKey(keyOfKind(KeyKind::shift));
    tapKey(keyOfKind(KeyKind::shift));
    typeOnPanel(L"cd");
    EXPECT_EQ(textOf(edit), L"Abcd") << "a second tap takes shift back";
    tapKey(keyOfKind(KeyKind::backspace));
    tapKey(keyOfKind(KeyKind::backspace));
    EXPECT_EQ(textOf(edit), L"Ab");
    tapKey(keyOfKind(KeyKind::enter));
    EXPECT_EQ(textOf(edit), L"Ab") << "a one-line field takes no line break";
}

TEST_F(PanelTypingTest, SlidingOffAKeyOrTappingTheHiddenPanelTypesNothing) {
    const POINT from = centre(keyFor(L'q').face);
    const POINT to = centre(keyFor(L'p').face);
    device().pointer(platform::PointerAction::down, from.x, from.y);
    device().pointer(platform::PointerAction::move, to.x, to.y);
    device().pointer(platform::PointerAction::move, from.x, 100);
    device().pointer(platform::PointerAction::up, from.x, 100);
    platform::pumpMessages();
    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    tap(from.x, from.y);
    platform::pumpMessages();
    EXPECT_EQ(textOf(edit), L"");
}
