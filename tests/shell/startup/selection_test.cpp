// The selection form's hooks: checks and displays by field kind, the listing options that
// follow the run mode, the acceptance of a whole selection and the pick lists.
#include <gtest/gtest.h>

#include "program_fixture.h"
#include "receipts/selection.h"

namespace palvorin::testing {
namespace {

class SelectionTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    Start();
    AddConcept("QUO", 'D', "QUOTA ORDINARIA");
    AddConcept(cp850("ÇÉA"), 'F', "FONS");
  }
  void TearDown() override {
    CloseDown();
    ProgramTest::TearDown();
  }

  // Types `text` into field f as the form runner hands it to the check.
  int Check(int screen, int f, std::string text) {
    text.resize(static_cast<size_t>(FormFieldAt(screen, f).width), ' ');
    int key = keys::kEnter;
    return SelectionCheck(screen, text, f, key);
  }

  // The acceptance of screen 1; `confirmKeys` answer the confirmation screen when it opens,
  // `noticeKeys` dismiss the explanation of a refusal.
  int Accept(std::initializer_list<int> answer) {
    Headless().FeedKeys(answer);
    int key = keys::kEnter;
    const int result = SelectionAccept(kSelectionScreen, key);
    EXPECT_EQ(Headless().Pending(), 0u);
    return result;
  }
};

TEST_F(SelectionTest, RunModeTurnsTheListingOptionsOnAndOff) {
  SelectionPaint(kSelectionScreen);
  EXPECT_NE(Row(15).find(": ----"), std::string::npos) << Row(15);
  EXPECT_EQ(Check(1, 1, "a"), 0);
  EXPECT_EQ(Value(1, 1), "A");
  for (int f = 8; f <= 10; ++f) EXPECT_EQ(FormFieldAt(1, f).flags & kFieldSkip, 0) << f;
  EXPECT_NE(Row(4).find(cp850(": Llistat d'avançament")), std::string::npos) << Row(4);
  EXPECT_NE(Row(15).find(": No "), std::string::npos) << Row(15);
  EXPECT_NE(Row(16).find(cp850(": Sí ")), std::string::npos) << Row(16);
  EXPECT_EQ(Check(1, 1, "P"), 0);
  for (int f = 8; f <= 10; ++f) EXPECT_NE(FormFieldAt(1, f).flags & kFieldSkip, 0) << f;
  EXPECT_NE(Row(17).find(": ----"), std::string::npos) << Row(17);
  for (const char* bad : {"X", " ", "1"}) {
    EXPECT_NE(Check(1, 1, bad), 0) << bad;
    EXPECT_EQ(Value(1, 1), "P") << "a refused mode stores nothing";
  }
}

TEST_F(SelectionTest, CursorSkipsTheListingOptionsUnlessAdvanceListing) {
  // Mode P: from the last remittance, Enter goes straight on to the concept screen.
  Headless().FeedText("p");
  for (int i = 0; i < 7; ++i) Headless().FeedKeys({keys::kEnter});
  Headless().FeedKeys({keys::kEsc, keys::kEsc, keys::kEsc});
  EXPECT_EQ(RunSelection(), keys::kEsc);
  EXPECT_EQ(Value(1, 1), "P");
  // Mode A: the options are edited; "F" for building totals is kept.
  Headless().FeedText("A");
  for (int i = 0; i < 7; ++i) Headless().FeedKeys({keys::kEnter});
  Headless().FeedText("F");
  Headless().FeedKeys({keys::kEnter, keys::kEsc, keys::kEsc});
  EXPECT_EQ(RunSelection(), keys::kEsc);
  EXPECT_EQ(Value(1, 8), "F");
  EXPECT_EQ(Headless().Pending(), 0u);
}

TEST_F(SelectionTest, IssueDateAndMonth) {
  SelectionPaint(kSelectionScreen);
  EXPECT_NE(Row(7).find(": 2503"), std::string::npos) << "the issue number: " << Row(7);
  EXPECT_EQ(Check(1, 2, "7/11/2024"), 0);
  EXPECT_EQ(Value(1, 3), "11") << "another month rewrites the month field";
  EXPECT_NE(Row(7).find(": 2411"), std::string::npos) << Row(7);
  EXPECT_EQ(Check(1, 3, "10"), 0);
  EXPECT_EQ(Check(1, 2, "7/11/2024"), 0);
  EXPECT_EQ(Value(1, 3), "10") << "the same date leaves the month alone";
  EXPECT_EQ(Check(1, 2, ""), 0);
  EXPECT_EQ(Value(1, 2), "15/3/2025") << "a cleared date is the work date";
  EXPECT_EQ(Value(1, 3), "3");
  for (const char* bad : {"31/2/2025", "hola", "15/13/2025"}) {
    EXPECT_NE(Check(1, 2, bad), 0) << bad;
  }
  EXPECT_EQ(Value(1, 2), "15/3/2025");
  for (const char* bad : {"1a", "-3", "3.5"}) EXPECT_NE(Check(1, 3, bad), 0) << bad;
  EXPECT_EQ(Check(1, 6, "150"), 0);
  EXPECT_NE(Check(1, 7, "9x"), 0);
}

TEST_F(SelectionTest, CoOwnerAndRemittanceRanges) {
  struct Case {
    const char* from;
    const char* to;
    const char* fromRem;
    const char* toRem;
    bool accepted;
  };
  const Case cases[] = {
      {"12.3", "9999.9999", "0000", "9999", true},
      {"9999.9999", "12.3", "0000", "9999", false},
      {"12.3", "12.3", "0150", "0150", true},
      {"12.3", "12.3", "0400", "0150", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " " + c.to + " " + c.fromRem + " " + c.toRem);
    ASSERT_EQ(Check(1, 4, c.from), 0);
    ASSERT_EQ(Check(1, 5, c.to), 0);
    ASSERT_EQ(Check(1, 6, c.fromRem), 0);
    ASSERT_EQ(Check(1, 7, c.toRem), 0);
    ResetRunParametersForTest();
    if (c.accepted) {
      EXPECT_EQ(Accept({'S', keys::kEnter}), 0);
      EXPECT_EQ(RunParameters().fromCoOwner, "\x80\x8C\x80\x83");
      EXPECT_EQ(RunParameters().fromRemittance, RemittanceCode(c.fromRem));
    } else {
      EXPECT_NE(Accept({keys::kEnter}), 0);  // the explanation, read
      EXPECT_EQ(RunParameters().fromCoOwner, "") << "a refused selection stores nothing";
    }
  }
  EXPECT_NE(Check(1, 4, "1.0"), 0);
  EXPECT_NE(Check(1, 4, "12.34567"), 0);
}

TEST_F(SelectionTest, ConceptSelectionNeedsATypeOrACode) {
  for (int f = 1; f <= 5; ++f) FormFieldAt(2, f).value = "N";
  EXPECT_NE(Accept({keys::kEnter}), 0) << "no type and no code";
  ASSERT_EQ(Check(2, 9, "quo"), 0);
  EXPECT_EQ(Accept({'S', keys::kEnter}), 0);
  EXPECT_EQ(RunParameters().conceptList, "QUO\xFF");
  EXPECT_EQ(RunParameters().typeSelection[0], "N");
}

TEST_F(SelectionTest, ConfirmationMustSayYes) {
  ResetRunParametersForTest();
  RunParameters().mode = 'A';
  ASSERT_EQ(Check(1, 1, "P"), 0);
  EXPECT_NE(Accept({'N', keys::kEnter}), 0);
  EXPECT_NE(Accept({keys::kEsc}), 0);
  EXPECT_EQ(RunParameters().mode, 'A') << "nothing stored without the go-ahead";
  EXPECT_EQ(Accept({'s', keys::kEnter}), 0) << "the option list takes the small letter too";
  EXPECT_EQ(RunParameters().mode, 'P');
}

TEST_F(SelectionTest, OnlyTheFinishingKeysStartTheConfirmation) {
  int key = keys::kAltC;
  EXPECT_NE(SelectionAccept(kSelectionScreen, key), 0);
  EXPECT_EQ(Headless().Pending(), 0u) << "no confirmation was asked for";
}

TEST_F(SelectionTest, MonthFieldNumbersTheIssue) {
  // The month only numbers the issue: an installation may number extra issues past 12.
  struct Case {
    const char* month;
    const char* issue;  // two digits of the year, then the month
  };
  for (const Case& c : {Case{"3", "2503"}, Case{"13", "2513"}, Case{"0", "2500"}}) {
    SCOPED_TRACE(c.month);
    ASSERT_EQ(Check(1, 3, c.month), 0);
    ResetRunParametersForTest();
    EXPECT_EQ(Accept({'S', keys::kEnter}), 0);
    EXPECT_EQ(RunParameters().issueNumber, PackDigits(c.issue));
  }
}

TEST_F(SelectionTest, ConceptCodesAreFoldedAndMustExist) {
  EXPECT_EQ(Check(2, 6, "quo"), 0);
  EXPECT_EQ(Value(2, 6), "QUO");
  EXPECT_EQ(Check(2, 7, cp850("çéa")), 0);
  EXPECT_EQ(Value(2, 7), cp850("ÇÉA")) << "accented letters keep their accent";
  EXPECT_NE(Check(2, 8, "zzz"), 0);
  EXPECT_EQ(Value(2, 8), "");
  EXPECT_EQ(Check(2, 6, ""), 0) << "a blank code clears the field";
  EXPECT_EQ(Value(2, 6), "");
  // Shown with its description.
  ResetWindowsForTest();
  ASSERT_EQ(Check(2, 6, "QUO"), 0);
  EXPECT_NE(Row(7).find("QUO  QUOTA ORDINARIA"), std::string::npos) << Row(7);
}

TEST_F(SelectionTest, EscOnTheSelectionStoresNothing) {
  ResetRunParametersForTest();
  Headless().FeedText("P");
  Headless().FeedKeys({keys::kEnter});
  Headless().FeedText("1/1/2020");
  Headless().FeedKeys({keys::kEsc, keys::kEsc});
  EXPECT_EQ(RunSelection(), keys::kEsc);
  EXPECT_EQ(RunParameters().mode, 'V');
  EXPECT_EQ(RunParameters().issueDate, "");
}

TEST_F(SelectionTest, OptionListShowsOnlyEntriesAfterABar) {
  FormField& field = FormFieldAt(1, 8);
  field.flags &= ~kFieldSkip;
  field.help = "X,Never|F,Yes|G,No";
  struct Case {
    const char* value;
    const char* shown;
  };
  for (const Case& c : {Case{"X", "    "}, Case{"F", "Yes "}, Case{"G", "No  "}}) {
    ConScroll(1, 1, 25, 80, 0, 7);
    field.value = c.value;
    SelectionDisplay(1, 8);
    EXPECT_EQ(Row(15).substr(FieldValueCol(1, 8) - 1, 4), c.shown) << c.value;
  }
}

TEST_F(SelectionTest, WindowTitlesAndEveryPromptAreDrawn) {
  SelectionPaint(kSelectionScreen);
  // " PREPARACIO DE REBUTS " is 22 long: it starts at 41 - 11.
  EXPECT_EQ(Row(1).substr(29, 22), " PREPARACIO DE REBUTS ");
  const int fields = static_cast<int>(FormScreenAt(kSelectionScreen).fields.size());
  for (int f = 1; f <= fields; ++f) {
    const FormField& field = FormFieldAt(kSelectionScreen, f);
    EXPECT_EQ(Row(field.row).substr(field.col - 1, field.prompt.size()), field.prompt) << f;
  }
  int key = 0;
  Headless().FeedKeys({keys::kEsc});
  FormRun(-kConceptScreen, 0, 0, key);
  EXPECT_EQ(key, keys::kEsc);
}

TEST_F(SelectionTest, PickListRowsAndTheCoOwnerSearchOrder) {
  AddCoOwner("\x80\x8C\x80\x83", "GARCIA*Joan", "C. Major 1", "1r 1a");
  ASSERT_EQ(DbGetStatus(hprobase::kHandle, 0, "\x80\x8C\x80\x83", 0), 0);
  const int search = PickListAt(kCoOwnerList).searchScreen;
  FormFieldAt(search, 1).value = "GAR" + std::string(37, ' ');
  std::string start, prefix;
  EXPECT_EQ(PickStart(kCoOwnerList, start, prefix), 0);
  EXPECT_EQ(start, "GAR");
  EXPECT_EQ(prefix, "GAR");
  EXPECT_EQ(PickListAt(kCoOwnerList).keyNumber, 1);
  EXPECT_EQ(PickListAt(kCoOwnerList).header.substr(0, 12), "NOM         ");
  EXPECT_EQ(PickRow(kCoOwnerList), "GARCIA*Joan" + std::string(29, ' ') + "  1r 1a" +
                                       std::string(10, ' ') + "  12.3     ");
  FormFieldAt(search, 1).value = std::string(40, ' ');
  FormFieldAt(search, 2).value = "C. M" + std::string(36, ' ');
  EXPECT_EQ(PickStart(kCoOwnerList, start, prefix), 0);
  EXPECT_EQ(start, "C. M");
  EXPECT_EQ(PickListAt(kCoOwnerList).keyNumber, 2);
  EXPECT_EQ(PickListAt(kCoOwnerList).header.substr(0, 9), cp850("ADREÇA   "));
  EXPECT_EQ(PickRow(kCoOwnerList).substr(0, 10), "C. Major 1");
  EXPECT_EQ(PickStart(kConceptList, start, prefix), 0);
  EXPECT_EQ(start + prefix, "");
  ASSERT_EQ(DbGetStatus(hconcept::kHandle, 0, "QUO", 0), 0);
  EXPECT_EQ(PickRow(kConceptList), "QUO  QUOTA ORDINARIA       D      ");
}

TEST_F(SelectionTest, EndOrF2AcceptsTheConceptWindowFromAnyFieldWhileEnterMovesOn) {
  for (int finish : {keys::kEnd, keys::kF2}) {
    Headless().FeedKeys({keys::kEnter, keys::kEnter, keys::kEnter, keys::kEnter, keys::kEnter});
    Headless().FeedKeys({keys::kEnter, finish});  // from the second concept code
    int key = 0;
    FormRun(-kConceptScreen, 0, 0, key);
    EXPECT_EQ(key, 2) << finish;
    EXPECT_EQ(Headless().Pending(), 0u) << finish;
  }
}

TEST_F(SelectionTest, F4PicksACoOwnerAndAConcept) {
  AddCoOwner("\x80\x8C\x80\x83", "GARCIA*Joan", "C. Major 1", "1r 1a");
  AddCoOwner("\x80\x8C\x80\x84", "PUIG*Anna", "C. Major 1", "1r 2a");
  // From field 4: F4, the search by name "puig", Enter; the list's only row is chosen.
  Headless().FeedKeys({keys::kEnter, keys::kEnter, keys::kEnter, keys::kF4});
  Headless().FeedText("puig");
  Headless().FeedKeys({keys::kEnter, keys::kEnter, keys::kEnter});
  // Field 5 now; leave.
  Headless().FeedKeys({keys::kEsc, keys::kEsc});
  EXPECT_EQ(RunSelection(), keys::kEsc);
  EXPECT_EQ(Value(1, 4), "12.4");
  // The concept list from the first concept field of screen 2.
  int key = 0;
  for (int i = 0; i < 5; ++i) Headless().FeedKeys({keys::kEnter});
  Headless().FeedKeys({keys::kF4, keys::kDown, keys::kEnter, keys::kEsc, keys::kEsc});
  FormRun(-kConceptScreen, 0, 0, key);
  EXPECT_EQ(Value(2, 6), cp850("ÇÉA")) << "the second row in code order";
  EXPECT_EQ(Headless().Pending(), 0u);
}

}  // namespace
}  // namespace palvorin::testing
