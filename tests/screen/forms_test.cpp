// The form runner: moving between fields and chained screens, checks, help, pick lists, mouse.
#include "screen/forms.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "screen/browse.h"
#include "os/codepage.h"
#include "screen/calendar.h"
#include "screen_fixture.h"
#include "textlib/dates.h"

namespace palvorin {
namespace {

// Screen 1 (whole console) continues with screen 2 (a window); screen 3 has only skip fields;
// screen 4 has a secret field, a blank-start field, a cursor-at-end field and a description.
constexpr std::string_view kForm =
    "4,4\r\n"
    "\"d,1b,4800,5000,4900,5100,3e00,3c00\",3,2,0,0,0,0\r\n"
    "2,2,\"Uno: \",5,0,0,0,0,0,\"\"\r\n"
    "3,2,\"Dos: \",5,0,0,0,0,1,\"\"\r\n"
    "4,2,\"Tres: \",5,0,0,0,0,0,\"\"\r\n"
    "\"d,1b,4800,5000,4900,5100\",2,0,10,10,15,60\r\n"
    "1,2,\"A: \",4,0,0,0,0,0,\"\"\r\n"
    "2,2,\"B: \",4,0,0,0,0,0,\"\"\r\n"
    "\"d,1b\",2,0,0,0,0,0\r\n"
    "2,2,\"S1: \",3,0,0,4,0,0,\"\"\r\n"
    "3,2,\"S2: \",3,0,0,4,0,0,\"\"\r\n"
    "\"d,1b,4800,5000\",4,0,5,5,12,70\r\n"
    "1,2,\"Clau: \",6,0,0,2,0,0,\"\"\r\n"
    "2,2,\"Nou: \",6,0,0,1,0,0,\"\"\r\n"
    "3,2,\"Fi: \",6,0,0,8,0,0,\"\"\r\n"
    "4,2,\"Desc: \",3,0,10,0,0,0,\"\"\r\n"
    "1\r\n"
    "0,0,5,30,12,60,0,\"LLISTA\",0\r\n";

struct Check {
  int screen;
  std::string text;
  int field;
  bool operator==(const Check&) const = default;
};

class FormRunTest : public testing::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    ResetFormsForTest();
    ResetBrowseForTest();
    ASSERT_TRUE(testing::LoadTestForm(kForm));
    FormHooks& hooks = Forms().hooks;
    hooks.check = [this](int s, std::string& text, int f, int&) {
      checks_.push_back({s, text, f});
      if (!text.empty() && text[0] == 'b') return -1;  // the test's rule: nothing starts with b
      FormFieldAt(s, f).value = text;
      return 0;
    };
    hooks.accept = [this](int s, int& key) {
      accepts_.emplace_back(s, key);
      return refuseAccepts_-- > 0 ? -1 : 0;
    };
  }
  void TearDown() override {
    ResetFormsForTest();
    ResetBrowseForTest();
  }

  int Run(int screen, std::initializer_list<int> keys, int leaveUp = 0, int leaveDown = 0,
          int key = 0) {
    Headless().FeedKeys(keys);
    FormRun(screen, leaveUp, leaveDown, key);
    EXPECT_EQ(Headless().Pending(), 0u) << "every key fed was used";
    return key;
  }
  void Type(std::string_view text) { Headless().FeedText(text); }
  std::string Value(int s, int f) { return FormFieldAt(s, f).value; }

  std::vector<Check> checks_;
  std::vector<std::pair<int, int>> accepts_;
  int refuseAccepts_ = 0;
};

TEST_F(FormRunTest, AScreenOfSkipFieldsIsPaintedAcceptedAndGivesBackItsKey) {
  std::vector<int> painted;
  Forms().hooks.paint = [&](int s) { painted.push_back(s); };
  EXPECT_EQ(Run(3, {}, 0, 0, 0x4444), 0x4444);
  EXPECT_EQ(painted, std::vector<int>{3});
  EXPECT_EQ(accepts_, (std::vector<std::pair<int, int>>{{3, 0x4444}}));
}

TEST_F(FormRunTest, PgUpOnTheFirstFieldLeavesOnlyWhenAllowed) {
  EXPECT_EQ(Run(1, {keys::kPgUp, keys::kEsc}), keys::kEsc);
  EXPECT_EQ(Forms().resumeScreen, 0);
  EXPECT_EQ(Run(1, {keys::kPgUp}, 1, 0), keys::kPgUp);
  EXPECT_EQ(Forms().resumeScreen, 1);
}

TEST_F(FormRunTest, EscGoesToTheFirstFieldAndThenLeaves) {
  Type("");
  Headless().FeedKeys({keys::kDown, keys::kDown, keys::kEsc});
  Type("Q");
  EXPECT_EQ(Run(1, {keys::kEnter, keys::kEsc, keys::kEsc}), keys::kEsc);
  EXPECT_EQ(Value(1, 1), "Q    ");
  EXPECT_EQ(checks_.back(), (Check{1, "Q    ", 1}));
}

TEST_F(FormRunTest, AChainOfScreensBehavesAsOneDialog) {
  const std::string under = Row(10);
  Headless().FeedKeys({keys::kEnter, keys::kEnter, keys::kEnter});  // screen 2 opens
  Headless().FeedKeys({keys::kUp});                                 // back to screen 1
  Type("z");
  Headless().FeedKeys({keys::kEnter});  // screen 2 again
  Type("w");
  EXPECT_EQ(Run(1, {keys::kEnter, keys::kEnter}), keys::kEnter);
  EXPECT_EQ(Value(1, 3), "z    ") << "Up came back to screen 1's last field";
  EXPECT_EQ(Value(2, 1), "w   ");
  EXPECT_EQ(accepts_, (std::vector<std::pair<int, int>>{
                          {2, keys::kEsc}, {2, keys::kEnter}, {1, keys::kEnter}}));
  EXPECT_EQ(Row(10), under) << "screen 2's window is gone";
  EXPECT_FALSE(StackFileExists());
}

TEST_F(FormRunTest, LeavingAChainDownwardsReopensItThereNextTime) {
  Headless().FeedKeys({keys::kEnter, keys::kEnter, keys::kEnter, keys::kPgDn});
  EXPECT_EQ(Run(1, {keys::kPgDn}, 1, 1), keys::kPgDn);
  EXPECT_EQ(Forms().resumeScreen, 2);
  checks_.clear();
  Type("v");
  EXPECT_EQ(Run(1, {keys::kEnter, keys::kEnter}, 1, 1), keys::kEnter);
  ASSERT_FALSE(checks_.empty());
  EXPECT_EQ(checks_.front(), (Check{2, "v   ", 1})) << "the first key went to screen 2";
  EXPECT_EQ(Forms().resumeScreen, 0);
}

TEST_F(FormRunTest, ASecretFieldShowsXAndABlankEntryKeepsItsValue) {
  FormFieldAt(4, 1).value = "abc   ";
  Type("pq");
  EXPECT_THROW(Run(4, {}), HeadlessInputExhausted);
  EXPECT_EQ(Text(6, 5 + 2 + 6, 6), "XXXXXX");
  EXPECT_EQ(Row(6).find("pq"), std::string::npos);
  ResetKeyboardForTest();

  Type("pq");
  Run(4, {keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Value(4, 1), "pq    ");
  Run(4, {keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Value(4, 1), "pq    ") << "left blank";
  EXPECT_EQ(Keyboard().maskChar, 0) << "the mask ends with the field";
}

TEST_F(FormRunTest, ASecretTextIsNeverShownInClearBeforeItsDescription) {
  FormFieldAt(4, 1).extraWidth = 4;  // the typed text is put back in front of the description
  Type("pq");
  Headless().FeedKeys({keys::kEnter});
  EXPECT_THROW(Run(4, {}), HeadlessInputExhausted);  // waiting in the next field
  EXPECT_EQ(Row(6).find("pq"), std::string::npos) << Row(6);
  EXPECT_EQ(Text(6, 5 + 2 + 6, 6 + 4), "XXXXXX    ");
  ResetKeyboardForTest();
}

TEST_F(FormRunTest, ABlankStartFieldKeepsItsValueWhenLeftBlank) {
  FormFieldAt(4, 2).value = "old   ";
  Run(4, {keys::kDown, keys::kDown, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Value(4, 2), "old   ");
  EXPECT_EQ(checks_[1], (Check{4, "old   ", 2}));
  Headless().FeedKeys({keys::kDown});
  Type("new");
  Run(4, {keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Value(4, 2), "new   ");
}

TEST_F(FormRunTest, TheCursorCanStartAfterTheText) {
  FormFieldAt(4, 3).value = "ab    ";
  Headless().FeedKeys({keys::kDown, keys::kDown});
  Type("c");
  Run(4, {keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Value(4, 3), "abc   ");
}

TEST_F(FormRunTest, ARefusedTextBeepsAndStaysInTheFieldAsTyped) {
  Type("b");
  Headless().FeedKeys({keys::kEnter, keys::kDel});
  Type("g");
  Run(1, {keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Headless().Beeps(), 1);
  ASSERT_GE(checks_.size(), 2u);
  EXPECT_EQ(checks_[0], (Check{1, "b    ", 1}));
  EXPECT_EQ(checks_[1], (Check{1, "g    ", 1})) << "edited again from the refused text";
  EXPECT_EQ(Value(1, 1), "g    ");
}

TEST_F(FormRunTest, PickListsOpenWithF4) {
  BrowseCacheClear();
  BrowseCacheAppend(7, "row seven");
  BrowseCacheAppend(8, "row eight");
  std::vector<std::tuple<int, int, int>> picks;
  Forms().hooks.pick = [&](int& list, int s, int& f) {
    picks.emplace_back(list, s, f);
    FormFieldAt(s, f).value = Browsing().chosenText.substr(0, 5);
    return 0;
  };
  // Esc in the list beeps and leaves the operator in the field.
  Headless().FeedKeys({keys::kDown, keys::kF4, keys::kEsc});
  Type("k");
  Run(1, {keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Headless().Beeps(), 1);
  EXPECT_TRUE(picks.empty());
  EXPECT_EQ(Value(1, 2), "k    ");

  // A row chosen goes through the pick hook, and the form moves on.
  checks_.clear();
  BrowseCacheClear();  // a list without a file shows what the program wrote for it
  BrowseCacheAppend(7, "row seven");
  BrowseCacheAppend(8, "row eight");
  Run(1, {keys::kDown, keys::kF4, keys::kDown, keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(picks, (std::vector<std::tuple<int, int, int>>{{1, 1, 2}}));
  EXPECT_EQ(Browsing().chosenItem, 8);
  EXPECT_EQ(Value(1, 2), "row e");
  EXPECT_EQ(checks_.size(), 1u) << "only field 1's Down was checked";
}

TEST_F(FormRunTest, AfterAListTheFieldIsEditedWithTheScreensKeys) {
  SetKeys("ea", "1b");  // the table of before the form
  BrowseCacheClear();
  BrowseCacheAppend(1, "only");
  Headless().FeedKeys({keys::kDown, keys::kF4, keys::kEsc});
  EXPECT_THROW(Run(1, {}), HeadlessInputExhausted);
  int returned = 0;
  EXPECT_TRUE(LookUpKey(keys::kF4, returned)) << "the screen's own table, F4 included";
  EXPECT_TRUE(LookUpKey(keys::kF1, returned));
  ASSERT_TRUE(Keyboard().saved);
  ASSERT_EQ(Keyboard().savedKeyTable.size(), 1u) << "the table of before the form is kept";
  EXPECT_EQ(Keyboard().savedKeyTable[0].accepted, keys::kEsc);
}

TEST_F(FormRunTest, APopUpToolLeavesTheFieldWithItsKeys) {
  InstallHotKeyTools();
  SessionState().terminalDir = temp_.folder();
  for (int hotKey : {keys::kAltX, keys::kAltC}) {
    accepts_.clear();
    FormFieldAt(1, 1).value = "     ";
    Headless().FeedKeys({hotKey, keys::kEsc});  // the tool opens and is closed at once
    Type("a");
    Run(1, {keys::kEnter, keys::kEsc, keys::kEsc});
    EXPECT_EQ(Value(1, 1), "a    ") << hotKey;
    EXPECT_EQ(accepts_, (std::vector<std::pair<int, int>>{{1, keys::kEsc}})) << hotKey;
  }
}

TEST_F(FormRunTest, APickHookCanAskForTheListAgain) {
  int calls = 0;
  Forms().hooks.pick = [&](int& list, int, int&) {
    if (++calls == 1) {
      list = 0;
      BrowseCacheClear();
      BrowseCacheAppend(1, "again");
    }
    return 0;
  };
  BrowseCacheClear();
  BrowseCacheAppend(1, "only");
  Run(1, {keys::kDown, keys::kF4, keys::kEnter, keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(calls, 2);
}

TEST_F(FormRunTest, AClickOnAnotherFieldMovesThere) {
  Headless().Click(20, 1);  // outside every field: nothing
  Headless().Click(5 + 3, 5 + 2 + 4 + 1);
  Type("m");
  Run(4, {keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Value(4, 3), "m     ");
}

TEST_F(FormRunTest, ARefusedAcceptanceSendsTheOperatorBackToTheFirstField) {
  refuseAccepts_ = 1;
  Headless().FeedKeys({keys::kEsc});
  Type("x");
  EXPECT_EQ(Run(1, {keys::kEnter, keys::kEsc, keys::kEsc}), keys::kEsc);
  EXPECT_EQ(accepts_.size(), 2u);
  EXPECT_EQ(Value(1, 1), "x    ");
}

TEST_F(FormRunTest, F1ShowsTheMenusHelpAndGoesOn) {
  SessionState().menuName = "NOHELP  ";
  Type("h");
  Headless().FeedKeys({keys::kF1, keys::kEsc});  // the help pager, closed again
  Type("i");
  Run(1, {keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(Value(1, 1), "ih   ") << "what was typed before F1 is still there";
}

TEST_F(FormRunTest, TheDescriptionColumnsAreClearedWhileAFieldIsEdited) {
  Forms().hooks.paint = [](int) {
    LocateInWindow(4, 2 + 6 + 3);
    ConPrint("DESCRIPCIO");
  };
  Headless().FeedKeys({keys::kDown, keys::kDown, keys::kDown});
  EXPECT_THROW(Run(4, {}), HeadlessInputExhausted);
  EXPECT_EQ(Text(5 + 4, 5 + 2 + 6 + 3, 10), std::string(10, ' '));
}

TEST_F(FormRunTest, TheFirstKeyTypedReplacesAFieldsValueAndAMovementKeyKeepsIt) {
  FormFieldAt(1, 1).value = "9    ";
  FormFieldAt(1, 2).value = "123  ";
  FormField& date = FormFieldAt(1, 3);
  date.width = 10;
  date.value = "1/3/2025  ";
  EXPECT_THROW(Run(1, {}), HeadlessInputExhausted);
  EXPECT_EQ(AttrAt(2, 7), 0xE1) << "the value shows marked, in the input colour turned round";
  EXPECT_EQ(AttrAt(2, 8), testing::kAttrInput);
  ResetKeyboardForTest();

  InstallHotKeyTools();
  ResetDatesForTest();
  Dates() = {'/', "DMA"};
  SessionState().languageCode = "CAT";
  SessionState().workDate = PackDate(2025, 3, 1);
  Type("10");
  Headless().FeedKeys({keys::kEnter, keys::kRight});
  Type("0");
  Headless().FeedKeys({keys::kEnter, keys::kAltC, keys::kRight, keys::kRight, keys::kRight});
  Run(1, {keys::kEnter, keys::kUp, keys::kEsc, keys::kEsc});  // Enter picks the day
  ResetDatesForTest();
  EXPECT_EQ(Value(1, 1), "10   ");
  EXPECT_EQ(Value(1, 2), "1023 ") << "Right first: the value is edited as it stands";
  EXPECT_EQ(Value(1, 3), "4/3/2025  ") << "the picked date replaces the old one";
}

TEST_F(FormRunTest, KeysTypedWhileTheTerminalIsTooSmallAreIgnored) {
  Headless().FeedResize(20, 60);
  Type("x");
  Headless().FeedKeys({keys::kEsc, keys::kEnter});
  Headless().FeedResize(25, 80);
  Type("y");
  EXPECT_EQ(Run(1, {keys::kEnter, keys::kEsc, keys::kEsc}), keys::kEsc);
  EXPECT_EQ(checks_, (std::vector<Check>{{1, "y    ", 1}}));
}

TEST_F(FormRunTest, AnOptionFieldTakesTheFirstLetterOfALabelOrACode) {
  FormField& field = FormFieldAt(1, 1);
  field.help = cp850("|F,Sí|G,No|T,Tots");
  for (const auto& [typed, want] : {std::pair{"S", "F"}, {"n", "G"}, {"g", "G"}}) {
    field.value = "T    ";
    Type(typed);
    Run(1, {keys::kEnter, keys::kEsc, keys::kEsc});
    EXPECT_EQ(Value(1, 1), std::string(want) + "    ") << typed;
  }
}

}  // namespace
}  // namespace palvorin
