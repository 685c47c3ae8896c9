// Two processes on the same files: record locks, a folder held by another writer, and a writer
// killed inside its transaction. The other process is a forked child that does its part,
// tells the parent through a pipe, and then waits to be killed.
#include <unistd.h>

#include "engine_fixture.h"
#include "support/other_process.h"

namespace palvorin::testing {
namespace {

class TwoProcessTest : public EngineTest {
 protected:
  // The parent closes everything before forking, so the child shares no database connection.
  void PrepareCodes(const Codes& codes) {
    OpenCodes();
    InsertCodes(codes);
    ResetEngineForTest();
  }
  // In the child: opens the codes file on a fresh block and runs `calls` on it.
  std::function<int()> InChild(std::function<int(Block&)> calls) {
    return [this, calls] {
      Block pb{};
      if (int st = OpenFile(pb, "codes.dat"); st != 0) return st;
      return calls(pb);
    };
  }
  int Begin(Block& pb) {
    std::string data, key;
    return Call(19, pb, data, key, 0);
  }
};

TEST_F(TwoProcessTest, RecordLockedElsewhereGives84UntilThatProcessDies) {
  PrepareCodes({"0001", "0002"});
  OtherProcess other(InChild([this](Block& pb) { return Get(pb, 205, "0001"); }));
  ASSERT_EQ(other.status(), 0);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(Get(205, "0001"), 84);
  EXPECT_EQ(Get(105, "0001"), 84) << "a waiting lock gives up after the configured wait";
  EXPECT_EQ(Get(5, "0001"), 0) << "a read without lock is never refused";
  EXPECT_EQ(Update(Rec("0001", "zz")), 84);
  EXPECT_EQ(Delete(), 84);
  EXPECT_EQ(Get(205, "0002"), 0) << "other records stay free";
  other.Kill();
  EXPECT_EQ(Get(205, "0001"), 0);
  EXPECT_EQ(Update(Rec("0001", "zz")), 0);
}

TEST_F(TwoProcessTest, InATransactionLocksHeldElsewhereStayAndItsOwnBindOthersAfterItsEnd) {
  PrepareCodes({"0001", "0002", "0003"});
  std::string data, key;
  {
    OtherProcess other(InChild([this](Block& pb) { return Get(pb, 205, "0001"); }));
    ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
    ASSERT_EQ(Begin(pb_), 0);
    EXPECT_EQ(Get(205, "0001"), 84);
    EXPECT_EQ(Get(205, "0002"), 0);
    ASSERT_EQ(Call(20, pb_, data, key, 0), 0);
  }
  // With no lock held elsewhere the transaction holds them all: none is taken meanwhile.
  ASSERT_EQ(Begin(pb_), 0);
  ASSERT_EQ(Get(205, "0003"), 0);
  OtherProcess during(InChild([this](Block& pb) { return Get(pb, 205, "0002"); }));
  EXPECT_EQ(during.status(), 85);
  ASSERT_EQ(Call(20, pb_, data, key, 0), 0);
  OtherProcess after(InChild(
      [this](Block& pb) { return Get(pb, 205, "0003") == 84 && Get(pb, 205, "0002") == 0; }));
  EXPECT_EQ(after.status(), 1) << "the lock still held at the end stays, the others are free";
}

TEST_F(TwoProcessTest, ReleasedLocksFreeTheRecordForOthers) {
  PrepareCodes({"0001"});
  OtherProcess other(InChild([this](Block& pb) {
    // Lock, then let go by updating: the other process may lock it afterwards.
    if (int st = Get(pb, 205, "0001"); st != 0) return st;
    std::string data = Rec("0001", "g2"), key(255, '\0');
    return Call(3, pb, data, key, 0);
  }));
  ASSERT_EQ(other.status(), 0);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(Get(205, "0001"), 0);
  EXPECT_EQ(record_, Rec("0001", "g2"));
}

TEST_F(TwoProcessTest, ANewSingleLockReleasesTheOldOneButNotMultipleLocks) {
  PrepareCodes({"0001", "0002", "0003"});
  OtherProcess other(InChild([this](Block& pb) {
    if (int st = Get(pb, 405, "0003"); st != 0) return st;  // multiple lock
    if (int st = Get(pb, 205, "0001"); st != 0) return st;
    return Get(pb, 205, "0002");
  }));
  ASSERT_EQ(other.status(), 0);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(Get(405, "0001"), 0);
  EXPECT_EQ(Get(405, "0002"), 84);
  EXPECT_EQ(Get(405, "0003"), 84);
}

TEST_F(TwoProcessTest, UnlockReleasesSingleAndMultipleLocks) {
  PrepareCodes({"0001", "0002", "0003", "0004"});
  OtherProcess other(InChild([this](Block& pb) {
    for (const char* code : {"0001", "0002", "0003"})
      if (int st = Get(pb, 405, code); st != 0) return st;
    std::string position(4, '\0'), key;
    if (int st = Call(22, pb, position, key, 0); st != 0) return st;   // 0003's position
    if (int st = Call(27, pb, position, key, -1); st != 0) return st;  // that one lock
    if (int st = Get(pb, 205, "0004"); st != 0) return st;
    if (int st = Call(27, pb, position, key, 0); st != 0) return st;  // the single lock
    return 0;
  }));
  ASSERT_EQ(other.status(), 0);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(Get(405, "0001"), 84);
  EXPECT_EQ(Get(405, "0003"), 0);
  EXPECT_EQ(Get(405, "0004"), 0);
  other.Kill();
}

TEST_F(TwoProcessTest, MultipleLocksGivenBackFirstTakenFirstFreeExactlyTheirRecords) {
  PrepareCodes({"0001", "0002", "0003"});
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  for (const char* code : {"0001", "0002", "0003"}) ASSERT_EQ(Get(405, code), 0);
  // Which of the three records another process can lock: bit 0 for 0001, 1 for 0002 ...
  const auto lockable = [this] {
    return OtherProcess(InChild([this](Block& pb) {
             return (Get(pb, 405, "0001") == 0) | (Get(pb, 405, "0002") == 0) << 1 |
                    (Get(pb, 405, "0003") == 0) << 2;
           }))
        .status();
  };
  ASSERT_EQ(GetEqual("0001"), 0);
  std::string position(4, '\0'), key;
  ASSERT_EQ(Call(22, pb_, position, key, 0), 0);
  ASSERT_EQ(Call(27, pb_, position, key, -1), 0);
  EXPECT_EQ(lockable(), 1);
  ASSERT_EQ(Call(27, pb_, position, key, -2), 0);
  EXPECT_EQ(lockable(), 7);
}

TEST_F(TwoProcessTest, ARecordCommittedElsewhereBetweenTwoStepsIsReachedByTheNext) {
  PrepareCodes({"0001", "0002", "0004", "0005"});
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  ASSERT_EQ(Get(12), 0);
  ASSERT_EQ(Next(), 0);  // 0002, with the records after it read ahead
  OtherProcess other(InChild([this](Block& pb) {
    if (int st = Insert(pb, Rec("0003")); st != 0) return st;
    if (int st = Get(pb, 5, "0004"); st != 0) return st;
    std::string data(8, '\0'), key(255, '\0');
    return Call(4, pb, data, key, 0);
  }));
  ASSERT_EQ(other.status(), 0);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0003");
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0005") << "the record deleted elsewhere is not served";
  EXPECT_EQ(Next(), 9);
}

TEST_F(TwoProcessTest, AKeyedReadThatStartsAWalkOrRepeatsOneSeesWhatWasCommittedSince) {
  PrepareCodes({"0001", "0002", "0004", "0006"});
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  ASSERT_EQ(Get(9, "0001"), 0);
  ASSERT_EQ(Next(), 0);  // a walk: the next Get Greater or Equal reads its block at once
  ASSERT_EQ(Get(9, "0002"), 0);
  OtherProcess other(InChild([this](Block& pb) { return Insert(pb, Rec("0003")); }));
  ASSERT_EQ(other.status(), 0);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0003");
  ASSERT_EQ(Get(9, "0005"), 0);
  OtherProcess again(InChild([this](Block& pb) { return Insert(pb, Rec("0005")); }));
  ASSERT_EQ(Get(9, "0005"), 0);
  EXPECT_EQ(Code(), "0005") << "the same read again finds the new record";
}

TEST_F(TwoProcessTest, ALockedReadInATransactionReturnsWhatWasCommittedWhileItWaited) {
  EngineConfig().lockWaitMs = 10'000;
  PrepareCodes({"0001"});
  Block held{}, work{};
  OtherProcess other([&] { return OpenFile(held, "codes.dat") || Get(held, 205, "0001"); }, [&] {
    usleep(300'000);
    std::string data = Rec("0001", "g2"), key(255, '\0');
    (void)Call(3, held, data, key, 0);  // and lets go of the lock
  });
  dir_.MakeDir("work");  // the transaction writes a folder of its own and only reads the codes
  ASSERT_EQ(CreateFile("work/w.dat", CodesDef()) || OpenFile(work, "work/w.dat") || Begin(work) ||
                OpenFile(pb_, "codes.dat") || GetEqual("0001") || Get(105, "0001"),
            0);
  EXPECT_EQ(record_, Rec("0001", "g2"));
}

// A listing reads the data folder inside a transaction over its scratch file: one picture of
// the files, whatever others commit meanwhile, and what they committed once it ends.
TEST_F(TwoProcessTest, AFolderOnlyReadInATransactionIsSeenAsAtItsFirstReadUntilTheEnd) {
  PrepareCodes({"0001", "0003"});
  Block work{};
  dir_.MakeDir("work");
  ASSERT_EQ(CreateFile("work/w.dat", CodesDef()) || OpenFile(work, "work/w.dat") || Begin(work) ||
                OpenFile(pb_, "codes.dat") || GetEqual("0001"),
            0);
  OtherProcess other(InChild([this](Block& pb) {
    if (int st = Insert(pb, Rec("0002")) || Get(pb, 5, "0003"); st != 0) return st;
    std::string data = Rec("0003", "g2"), key(255, '\0');
    return Call(3, pb, data, key, 0);
  }));
  ASSERT_EQ(other.status(), 0);
  EXPECT_EQ(GetEqual("0002"), 4);
  ASSERT_EQ(GetEqual("0003"), 0);
  EXPECT_EQ(record_, Rec("0003"));
  std::string none;
  ASSERT_EQ(Call(20, work, none, none, 0), 0);
  ASSERT_EQ(GetEqual("0003"), 0);
  EXPECT_EQ(record_, Rec("0003", "g2"));
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0002", "0003"}));
}

TEST_F(TwoProcessTest, ARecordDeletedElsewhereSinceTheLastTransactionCannotBeWrittenInTheNext) {
  PrepareCodes({"0001", "0002"});
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  std::string none;
  ASSERT_EQ(Begin(pb_) || GetEqual("0001") || Call(20, pb_, none, none, 0), 0);
  OtherProcess other(InChild([this](Block& pb) {
    if (int st = Get(pb, 5, "0001"); st != 0) return st;
    std::string data(8, '\0'), key(255, '\0');
    return Call(4, pb, data, key, 0);
  }));
  ASSERT_EQ(other.status(), 0);
  ASSERT_EQ(Begin(pb_), 0);
  EXPECT_EQ(Update(Rec("0001", "g2")), 8);
  EXPECT_EQ(Delete(), 8);
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0002"}));
}

TEST_F(TwoProcessTest, FolderHeldByAnotherWriterGives85AndStillReads) {
  PrepareCodes({"0001"});
  OtherProcess other(InChild([this](Block& pb) {
    if (int st = Begin(pb); st != 0) return st;
    return Insert(pb, Rec("0009"));
  }));
  ASSERT_EQ(other.status(), 0);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(Insert(Rec("0002")), 85);
  EXPECT_EQ(AllCodes(), (Codes{"0001"})) << "reads go on, without the other's open work";
  std::string data, key;
  EXPECT_EQ(Call(19, pb_, data, key, 0), 85);
  other.Kill();
  EXPECT_EQ(Insert(Rec("0002")), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0002"}));
}

TEST_F(TwoProcessTest, ExclusiveOpenKeepsOthersOut) {
  PrepareCodes({"0001"});
  OtherProcess other([this] {
    Block pb{};
    return OpenFile(pb, "codes.dat", kOpenExclusive);
  });
  ASSERT_EQ(other.status(), 0);
  EXPECT_EQ(OpenFile(pb_, "codes.dat"), 85);
  other.Kill();
  EXPECT_EQ(OpenFile(pb_, "codes.dat"), 0);
}

TEST_F(TwoProcessTest, AFileOpenElsewhereIsNeitherDroppedNorReplaced) {
  PrepareCodes({"0001"});
  OtherProcess other(InChild([](Block&) { return 0; }));
  ASSERT_EQ(other.status(), 0);
  EXPECT_FALSE(EngineDropFile(PathOf("codes.dat")));
  EXPECT_EQ(CreateFile("codes.dat", CodesDef(), 0), 85);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0001"}));
  other.Kill();
  ASSERT_EQ(Close(pb_), 0);
  EXPECT_TRUE(EngineDropFile(PathOf("codes.dat")));
}

TEST_F(TwoProcessTest, WriterKilledInsideItsTransactionLeavesEveryFileAsBefore) {
  OpenCodes();
  Block b{};
  ASSERT_EQ(CreateFile("b.dat", CodesDef()), 0);
  ASSERT_EQ(OpenFile(b, "b.dat"), 0);
  InsertCodes({"0001", "0002", "0003"});
  ASSERT_EQ(Insert(b, Rec("0100")), 0);
  const Codes before = AllCodes(), beforeByGroup = AllCodes(1), beforeB = Walk(b, 0);
  ResetEngineForTest();

  OtherProcess writer([this] {
    Block a{}, b{};
    if (OpenFile(a, "codes.dat") != 0 || OpenFile(b, "b.dat") != 0) return 1;
    if (Begin(a) != 0) return 2;
    for (int i = 0; i < 500; ++i)
      if (Insert(a, Rec(std::to_string(1000 + i), "zz")) != 0) return 3;
    if (Insert(b, Rec("0200")) != 0) return 4;
    if (Get(a, 5, "0002") != 0) return 5;
    std::string data = Rec("0002", "yy"), key(255, '\0');
    if (Call(3, a, data, key, 0) != 0) return 6;
    if (Get(a, 5, "0001") != 0) return 7;
    data.assign(8, '\0');
    if (Call(4, a, data, key, 0) != 0) return 8;
    return 0;  // and is killed before End
  });
  ASSERT_EQ(writer.status(), 0);
  writer.Kill();

  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  ASSERT_EQ(OpenFile(b, "b.dat"), 0);
  EXPECT_EQ(AllCodes(), before);
  EXPECT_EQ(AllCodes(1), beforeByGroup) << "every key holds every record";
  EXPECT_EQ(Walk(b, 0), beforeB);
  ASSERT_EQ(GetEqual("0002"), 0);
  EXPECT_EQ(record_, Rec("0002"));
  EXPECT_EQ(Insert(Rec("0004")), 0) << "nothing of the dead writer holds the folder";
}

TEST_F(TwoProcessTest, CommitsThatDidNotWaitForTheDiskOutliveTheirWriter) {
  PrepareCodes({"0001"});
  OtherProcess writer(InChild([this](Block& pb) {
    std::string data, key;
    for (const char* code : {"0002", "0003"}) {
      if (Call(19, pb, data, key, kBeginUnsynced) != 0 || Insert(pb, Rec(code)) != 0) return 1;
      if (code[3] == '2' && Call(20, pb, data, key, 0) != 0) return 2;
    }
    return 0;  // killed inside the second transaction
  }));
  ASSERT_EQ(writer.status(), 0);
  writer.Kill();
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0002"}));
  std::string data, key;
  ASSERT_EQ(Call(19, pb_, data, key, 0), 0);
  EXPECT_EQ(Call(20, pb_, data, key, 0), 0) << "an empty durable end syncs what came before";
}

}  // namespace
}  // namespace palvorin::testing
