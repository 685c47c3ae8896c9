// Operations, statuses and positioning, through the raw BTRCALL signature.
#include <filesystem>

#include "engine_fixture.h"
#include "os/files.h"

namespace palvorin::testing {
namespace {

// ---- Files ---------------------------------------------------------------------------------

TEST_F(EngineTest, CreateRefusesAnExistingFileAndReplacesOnlyAnEmptyOne) {
  OpenCodes();
  InsertCodes({"0001"});
  EXPECT_EQ(CreateFile("codes.dat", CodesDef()), 59);
  EXPECT_EQ(CreateFile("codes.dat", CodesDef(), 0), 59) << "records are never thrown away";
  EXPECT_EQ(AllCodes(), (Codes{"0001"}));
  ASSERT_EQ(GetEqual("0001"), 0);
  ASSERT_EQ(Delete(), 0);
  EXPECT_EQ(CreateFile("codes.dat", CodesDef(), 0), 0);
  EXPECT_EQ(Get(12), 3) << "an open of a replaced file is no longer open";
}

TEST_F(EngineTest, ATableAndItsCatalogEntryComeTogetherOrTheFileIsDamaged) {
  if (OnServer()) GTEST_SKIP() << "a local database only";
  ASSERT_EQ(CreateFile("codes.dat", CodesDef()), 0);
  ASSERT_EQ(CreateFile("other.dat", CodesDef()), 0);
  ResetEngineForTest();
  ASSERT_TRUE(RunSql(dir_.path(), "DELETE FROM palvorin_files WHERE CAST(name AS TEXT) ="
                                  " 'codes.dat'; DROP TABLE \"other.dat\""));
  for (const char* name : {"codes.dat", "other.dat"}) {
    EXPECT_EQ(OpenFile(pb_, name), 30) << name;
    EXPECT_EQ(CreateFile(name, CodesDef(), 0), 30) << name;
  }
}

TEST_F(EngineTest, FileNamesIgnoreCaseAndDosSeparators) {
  ASSERT_EQ(CreateFile("HFinca.DAT", CodesDef()), 0);
  std::string data = "0000", key = dir_.path() + "\\hfinca.dat" + std::string(1, '\0');
  ASSERT_EQ(Call(0, pb_, data, key, 0), 0);
  InsertCodes({"0001"});
  Block other{};
  ASSERT_EQ(OpenFile(other, "HFINCA.dat"), 0);
  EXPECT_EQ(Walk(other, 0), (Codes{"0001"}));
  EXPECT_EQ(std::filesystem::exists(dir_.path() + "/zepdata.sqlite"), !OnServer());
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/HFinca.DAT"));
}

TEST_F(EngineTest, MissingFilesAndFoldersGive12) {
  EXPECT_EQ(OpenFile(pb_, "none.dat"), 12) << "no database in the folder yet";
  OpenCodes();
  Block other{};
  EXPECT_EQ(OpenFile(other, "none.dat"), 12);
  EXPECT_EQ(OpenFile(other, "nofolder/codes.dat"), 12);
  EXPECT_EQ(CreateFile("nofolder/codes.dat", CodesDef()), 12);
}

TEST_F(EngineTest, AFileThatIsNoDatabaseGives30AndIsLeftAsItIs) {
  if (OnServer()) GTEST_SKIP() << "a local database only";
  for (const std::string& bytes : {std::string(8192, 'x'), std::string()}) {
    ResetEngineForTest();
    dir_.Write("zepdata.sqlite", bytes);
    EXPECT_EQ(OpenFile(pb_, "codes.dat"), 30);
    EXPECT_NE(EngineLastError(), "");
    EXPECT_EQ(CreateFile("codes.dat", CodesDef()), 30);
    EXPECT_EQ(dir_.Read("zepdata.sqlite"), bytes);
  }
  // The record layer retries some opens without end: a failed one must hold nothing open.
  auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = openDescriptors();
  for (int i = 0; i < 20; ++i) ASSERT_EQ(OpenFile(pb_, "codes.dat"), 30);
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(EngineTest, ADatabaseThatIsALinkIsNeverFollowed) {
  if (OnServer()) GTEST_SKIP() << "a local database only";
  std::filesystem::create_symlink(PathOf("elsewhere"), PathOf("zepdata.sqlite"));
  EXPECT_EQ(CreateFile("codes.dat", CodesDef()), 2);
  EXPECT_FALSE(std::filesystem::exists(PathOf("elsewhere")));
}

TEST_F(EngineTest, ARecordOfAnotherLengthGives54WhereItStandsAndIsPassedOver) {
  if (OnServer()) GTEST_SKIP() << "a local database only";
  OpenCodes();
  InsertCodes({"0001", "0002", "0003"});
  ASSERT_TRUE(RunSql(dir_.path(), "UPDATE \"codes.dat\" SET data = x'30' WHERE id = 2"));
  EXPECT_EQ(GetEqual("0002"), 54);
  EXPECT_EQ(GetEqual("0001"), 0);
  EXPECT_EQ(Next(), 54);
  EXPECT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0003");
}

TEST_F(EngineTest, CallsOnABlockThatIsNotOpenGive3) {
  Block never{};
  EXPECT_EQ(Get(never, 12), 3);
  OpenCodes();
  ASSERT_EQ(Close(pb_), 0);
  EXPECT_EQ(Get(12), 3);
  EXPECT_EQ(Insert(Rec("0001")), 3);
  EXPECT_EQ(Close(pb_), 3);
}

TEST_F(EngineTest, ResetClosesEveryFile) {
  OpenCodes();
  Block other{};
  ASSERT_EQ(OpenFile(other, "codes.dat"), 0);
  std::string data, key;
  Block scratch{};
  EXPECT_EQ(Call(28, scratch, data, key, 0), 0);
  EXPECT_EQ(Get(12), 3);
  EXPECT_EQ(Get(other, 12), 3);
}

TEST_F(EngineTest, DroppingADataFileByNameRemovesIt) {
  OpenCodes("hresrebu.dat");
  InsertCodes({"0001"});
  EXPECT_TRUE(EngineDropFile(PathOf("HRESREBU.DAT")));
  EXPECT_EQ(Get(12), 3);
  EXPECT_EQ(OpenFile(pb_, "hresrebu.dat"), 12);
  EXPECT_FALSE(EngineDropFile(PathOf("hresrebu.dat")));
  EXPECT_FALSE(EngineDropFile(PathOf("zepdata.sqlite")));
  EXPECT_FALSE(EngineDropFile("/nonexistent/folder/x.dat"));
}

TEST_F(EngineTest, DeletingTheFileThroughTheOsLayerDropsIt) {
  OpenCodes("hresrebu.dat");
  InsertCodes({"0001"});
  std::string data, key;
  Block scratch{};
  ASSERT_EQ(Call(28, scratch, data, key, 0), 0);
  EXPECT_TRUE(DeleteFile(dir_.path() + "\\HResRebu.dat").ok());
  EXPECT_EQ(OpenFile(pb_, "hresrebu.dat"), 12);
  EXPECT_TRUE(DeleteFile(dir_.path() + "/hresrebu.dat").IsNotFound());
}

TEST_F(EngineTest, FoldersAreFoundWhateverTheirLetterCase) {
  std::filesystem::create_directory(dir_.path() + "/dades");
  ASSERT_EQ(CreateFile("dades/HFinca.dat", CodesDef()), 0);
  std::string data = "0000", key = dir_.path() + "\\DADES\\HFINCA.DAT" + std::string(1, '\0');
  EXPECT_EQ(Call(0, pb_, data, key, 0), 0);
}

TEST_F(EngineTest, UnknownOperationsAndMisplacedBiasesGive1) {
  OpenCodes();
  for (uint16_t op : {16, 24, 40, 49, 2 + 200, 52, 73, 1005}) EXPECT_EQ(Get(op), 1) << op;
}

// ---- Insert, Get Equal and their statuses --------------------------------------------------

TEST_F(EngineTest, InsertThenGetEqualReturnsRecordAndKey) {
  OpenCodes();
  ASSERT_EQ(Insert(Rec("0002", "g7", "ab")), 0);
  ASSERT_EQ(GetEqual("0002"), 0);
  EXPECT_EQ(record_, Rec("0002", "g7", "ab"));
  EXPECT_EQ(key_.substr(0, 4), "0002");
  ASSERT_EQ(Get(5, "g7", 1), 0);
  EXPECT_EQ(key_.substr(0, 2), "g7");
}

TEST_F(EngineTest, DuplicateOnAUniqueKeyGives5AndStoresNothing) {
  OpenCodes();
  InsertCodes({"0001"});
  EXPECT_EQ(Insert(Rec("0001", "g2")), 5);
  EXPECT_EQ(AllCodes(1), (Codes{"0001"}));
}

TEST_F(EngineTest, BadArgumentsGiveTheirStatusAndChangeNothing) {
  OpenCodes();
  InsertCodes({"0001"});
  EXPECT_EQ(Insert(Rec("0002").substr(0, 7)), 22) << "short record";
  EXPECT_EQ(Insert(Rec("0002") + "x"), 22) << "record longer than the file's";
  EXPECT_EQ(Insert(Rec("0002"), 2), 6);
  EXPECT_EQ(Get(5, "0001", 2), 6);
  EXPECT_EQ(Get(5, "0001", -1), 6);
  std::string data(8, '\0'), key(3, '\0');
  EXPECT_EQ(Call(5, pb_, data, key, 0), 21) << "key buffer shorter than the key";
  EXPECT_EQ(AllCodes(), (Codes{"0001"}));
}

TEST_F(EngineTest, ReadIntoAShortBufferReturnsWhatFitsAnd22) {
  OpenCodes();
  InsertCodes({"0001"});
  std::string data(5, '\0'), key = "0001";
  EXPECT_EQ(Call(5, pb_, data, key, 0), 22);
  EXPECT_EQ(data, Rec("0001").substr(0, 5));
  EXPECT_NE(Position(pb_), 0u) << "the record is current all the same";
}

// ---- Currency ------------------------------------------------------------------------------

TEST_F(EngineTest, UpdateAfterFailedGetEqualReturns8AndChangesNothing) {
  OpenCodes();
  InsertCodes({"0001", "0002"});
  ASSERT_EQ(GetEqual("0001"), 0);
  EXPECT_EQ(GetEqual("0009"), 4);
  EXPECT_EQ(Update(Rec("0003")), 8);
  EXPECT_EQ(Delete(), 8);
  EXPECT_EQ(Next(), 8);
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0002"}));
}

TEST_F(EngineTest, FailedNextKeepsThePlaceButNoCurrentRecord) {
  OpenCodes();
  InsertCodes({"0001", "0002"});
  ASSERT_EQ(Get(13), 0);
  EXPECT_EQ(Next(), 9);
  EXPECT_EQ(Delete(), 8);
  EXPECT_EQ(Prev(), 0);
  EXPECT_EQ(Code(), "0001");
  EXPECT_EQ(Prev(), 9);
  EXPECT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0002");
}

TEST_F(EngineTest, EmptyFileGives9ForFirstAndLast) {
  OpenCodes();
  EXPECT_EQ(Get(12), 9);
  EXPECT_EQ(Get(13), 9);
  EXPECT_EQ(Next(), 8);
}

TEST_F(EngineTest, KeyedReadsReachTheRightDuplicate) {
  OpenCodes();
  // Groups on key 1: a1 {0001, 0003}, b2 {0002, 0005, 0004}, c3 {0006}.
  for (auto [code, group] : {std::pair{"0001", "a1"},
                             {"0002", "b2"},
                             {"0003", "a1"},
                             {"0005", "b2"},
                             {"0004", "b2"},
                             {"0006", "c3"}})
    ASSERT_EQ(Insert(Rec(code, group)), 0);
  struct Case {
    uint16_t op;
    const char* value;
    int status;
    const char* code;
  };
  const Case cases[] = {
      {5, "b2", 0, "0002"},  {5, "b1", 4, ""},    {9, "b2", 0, "0002"},  {9, "b1", 0, "0002"},
      {8, "b2", 0, "0006"},  {8, "a", 0, "0001"}, {11, "b2", 0, "0004"}, {11, "b3", 0, "0004"},
      {10, "b2", 0, "0003"}, {10, "a1", 9, ""},   {8, "c3", 9, ""},      {9, "d", 9, ""},
      {12, "", 0, "0001"},   {13, "", 0, "0006"}, {11, "a0", 9, ""},     {9, "", 0, "0001"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Get(c.op, c.value, 1), c.status) << c.op << " " << c.value;
    if (c.status == 0) {
      EXPECT_EQ(Code(), c.code) << c.op << " " << c.value;
    }
  }
}

TEST_F(EngineTest, DuplicatesWalkInInsertionOrderBothWays) {
  OpenCodes();
  for (auto [code, group] :
       {std::pair{"0010", "bb"}, {"0030", "aa"}, {"0020", "bb"}, {"0050", "aa"}, {"0040", "bb"}})
    ASSERT_EQ(Insert(Rec(code, group)), 0);
  EXPECT_EQ(AllCodes(1), (Codes{"0030", "0050", "0010", "0020", "0040"}));
  EXPECT_EQ(AllCodesBackwards(1), (Codes{"0040", "0020", "0010", "0050", "0030"}));
  ASSERT_EQ(Get(5, "bb", 1), 0);
  EXPECT_EQ(Prev(1), 0);
  EXPECT_EQ(Code(), "0050");
}

TEST_F(EngineTest, NextAfterDeleteReachesTheFollowingRecord) {
  OpenCodes();
  for (auto code : {"0001", "0002", "0003", "0004"}) ASSERT_EQ(Insert(Rec(code, "gg")), 0);
  ASSERT_EQ(Get(5, "gg", 1), 0);
  ASSERT_EQ(Next(1), 0);
  ASSERT_EQ(Code(), "0002");
  EXPECT_EQ(Delete(), 0);
  EXPECT_EQ(Delete(), 8) << "nothing is current after a delete";
  ASSERT_EQ(Next(1), 0);
  EXPECT_EQ(Code(), "0003");
  ASSERT_EQ(Delete(), 0);
  ASSERT_EQ(Prev(1), 0);
  EXPECT_EQ(Code(), "0001");
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0004"}));
}

TEST_F(EngineTest, UpdateMovesTheRecordAndNextFollowsItsNewKey) {
  OpenCodes();
  for (auto [code, group] : {std::pair{"0001", "aa"}, {"0002", "bb"}, {"0003", "cc"}})
    ASSERT_EQ(Insert(Rec(code, group)), 0);
  ASSERT_EQ(Get(5, "aa", 1), 0);
  ASSERT_EQ(Update(Rec("0001", "bz"), 1), 0);
  ASSERT_EQ(Next(1), 0);
  EXPECT_EQ(Code(), "0003");
  EXPECT_EQ(AllCodes(1), (Codes{"0002", "0001", "0003"}));
}

TEST_F(EngineTest, UpdateReturnsTheNewKeyValue) {
  OpenCodes();
  InsertCodes({"0001"});
  ASSERT_EQ(GetEqual("0001"), 0);
  std::string data = Rec("0001", "zz"), key(255, '\0');
  ASSERT_EQ(Call(3, pb_, data, key, 1), 0);
  EXPECT_EQ(key.substr(0, 2), "zz");
}

TEST_F(EngineTest, UpdateRefusesAChangedFixedKeyAndADuplicate) {
  OpenCodes();
  InsertCodes({"0001", "0002"});
  ASSERT_EQ(GetEqual("0001"), 0);
  EXPECT_EQ(Update(Rec("0009")), 10);
  EXPECT_EQ(Update(Rec("0001", "zz", "xy")), 0);
  ASSERT_EQ(GetEqual("0001"), 0);
  EXPECT_EQ(record_, Rec("0001", "zz", "xy"));
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0002"}));
}

TEST_F(EngineTest, UniqueModifiableKeyRefusesADuplicateOnUpdate) {
  FileDef def = CodesDef();
  def.segments[0].flags = kKeyModifiable;
  ASSERT_EQ(CreateFile("m.dat", def), 0);
  ASSERT_EQ(OpenFile(pb_, "m.dat"), 0);
  InsertCodes({"0001", "0002"});
  ASSERT_EQ(GetEqual("0001"), 0);
  EXPECT_EQ(Update(Rec("0002")), 5);
  EXPECT_EQ(Update(Rec("0003")), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0002", "0003"}));
}

TEST_F(EngineTest, InsertWithoutKeyKeepsTheWalkWhereItWas) {
  OpenCodes();
  InsertCodes({"0001", "0003"});
  ASSERT_EQ(GetEqual("0001"), 0);
  ASSERT_EQ(Insert(Rec("0000"), -1), 0);
  const uint32_t inserted = Position(pb_);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0003");
  ASSERT_EQ(GetDirect(inserted), 0);
  EXPECT_EQ(Code(), "0000");
}

TEST_F(EngineTest, KeyOnlyReadsGiveTheKeyAloneAndForbidWrites) {
  OpenCodes();
  InsertCodes({"0001"});
  ASSERT_EQ(Get(55, "0001"), 0);
  EXPECT_EQ(record_, "") << "no record comes back";
  EXPECT_EQ(key_.substr(0, 4), "0001");
  EXPECT_EQ(Update(Rec("0001", "zz")), 8);
  EXPECT_EQ(Delete(), 8);
  std::string key = "0001";
  EXPECT_EQ(BTRCALL(55, pb_.data(), nullptr, nullptr, key.data(), 4, 0), 0) << "no data buffer";
}

TEST_F(EngineTest, KeyOnlyNextStepsToTheNextDistinctValue) {
  OpenCodes();
  for (auto [code, group] :
       {std::pair{"0001", "a"}, {"0002", "a"}, {"0003", "a"}, {"0004", "b"}, {"0005", "c"}})
    ASSERT_EQ(Insert(Rec(code, group)), 0);
  ASSERT_EQ(Get(59, "a", 1), 0);
  ASSERT_EQ(Get(56, key_, 1), 0);
  EXPECT_EQ(key_.substr(0, 1), "b");
  ASSERT_EQ(Get(56, key_, 1), 0);
  EXPECT_EQ(key_.substr(0, 1), "c");
  EXPECT_EQ(Get(56, key_, 1), 9);
  ASSERT_EQ(Get(57, key_, 1), 0);
  EXPECT_EQ(key_.substr(0, 1), "b");
}

TEST_F(EngineTest, NextOnAnotherKeyThanThePlaceGives7) {
  OpenCodes();
  InsertCodes({"0001", "0002"});
  ASSERT_EQ(GetEqual("0001"), 0);
  EXPECT_EQ(Next(1), 7);
}

TEST_F(EngineTest, PositionsStayStableAndGetDirectRestoresTheWalk) {
  OpenCodes();
  for (auto [code, group] : {std::pair{"0001", "b"}, {"0002", "a"}, {"0003", "c"}})
    ASSERT_EQ(Insert(Rec(code, group)), 0);
  ASSERT_EQ(GetEqual("0001"), 0);
  const uint32_t pos = Position(pb_);
  ASSERT_NE(pos, 0u);
  ASSERT_EQ(Update(Rec("0001", "b", "zz")), 0);
  ASSERT_EQ(Get(12), 0);
  ASSERT_EQ(GetDirect(pos, 1), 0);
  EXPECT_EQ(record_, Rec("0001", "b", "zz"));
  EXPECT_EQ(key_.substr(0, 1), "b");
  ASSERT_EQ(Next(1), 0);
  EXPECT_EQ(Code(), "0003");
  std::string data(64, '\0'), key(2, '\0');  // as long as key 1
  std::memcpy(data.data(), &pos, 4);
  EXPECT_EQ(Call(23, pb_, data, key, 1), 0);
  EXPECT_EQ(GetDirect(9999), 43);
  EXPECT_EQ(GetDirect(0), 43);
}

TEST_F(EngineTest, GetPositionWithoutCurrentRecordGives8) {
  OpenCodes();
  std::string data(4, '\0'), key;
  EXPECT_EQ(Call(22, pb_, data, key, 0), 8);
}

TEST_F(EngineTest, TwoBlocksOnOneFileKeepTheirOwnPlaces) {
  OpenCodes();
  InsertCodes({"0001", "0002", "0003"});
  Block other{};
  ASSERT_EQ(OpenFile(other, "codes.dat"), 0);
  ASSERT_EQ(Get(12), 0);
  ASSERT_EQ(Get(other, 13), 0);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0002");
  ASSERT_EQ(Get(other, 7, key_), 0);
  EXPECT_EQ(Code(), "0002");
}

TEST_F(EngineTest, AWalkSeesThisProcessesWritesAndUndoneWorkAtOnce) {
  OpenCodes();
  InsertCodes({"0010", "0020", "0030", "0040", "0050", "0060"});
  Block other{};
  ASSERT_EQ(OpenFile(other, "codes.dat"), 0);
  ASSERT_EQ(Get(12), 0);
  ASSERT_EQ(Next(), 0);  // 0020, with the records after it read ahead
  std::string data = Rec("0030", "g1", "zz"), key(255, '\0'), none;
  ASSERT_EQ(Insert(other, Rec("0025")), 0);
  ASSERT_EQ(Get(other, 5, "0030"), 0);
  ASSERT_EQ(Call(3, other, data, key, 0), 0);
  ASSERT_EQ(Get(other, 5, "0040"), 0);
  ASSERT_EQ(Call(4, other, data, key, 0), 0);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0025");
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(record_.substr(0, 8), Rec("0030", "g1", "zz"));
  // A change read ahead inside a transaction that is then aborted is not served afterwards.
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  data = Rec("0060", "g1", "yy");
  ASSERT_EQ(Get(other, 5, "0060"), 0);
  ASSERT_EQ(Call(3, other, data, key, 0), 0);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0050");
  ASSERT_EQ(Call(21, pb_, none, none, 0), 0);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(record_.substr(0, 8), Rec("0060"));
  EXPECT_EQ(Next(), 9);
}

TEST_F(EngineTest, AWalkInsideATransactionSeesItsOwnWritesAtOnce) {
  OpenCodes();
  InsertCodes({"0010", "0020", "0030", "0040", "0050", "0060"});
  Block other{};
  ASSERT_EQ(OpenFile(other, "codes.dat"), 0);
  std::string none, data = Rec("0030", "g1", "zz"), key(255, '\0');
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  ASSERT_EQ(Get(12), 0);
  ASSERT_EQ(Next(), 0);  // 0020, with the records after it read ahead
  ASSERT_EQ(Update(Rec("0020", "g1", "yy")), 0);
  ASSERT_EQ(Get(other, 5, "0030"), 0);
  ASSERT_EQ(Call(3, other, data, key, 0), 0);
  ASSERT_EQ(Get(other, 5, "0040"), 0);
  ASSERT_EQ(Call(4, other, data, key, 0), 0);
  ASSERT_EQ(Insert(other, Rec("0001")), 0);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(record_.substr(0, 8), Rec("0030", "g1", "zz"));
  ASSERT_EQ(Delete(), 0);
  ASSERT_EQ(Insert(other, Rec("0025")), 0);  // behind the walk
  ASSERT_EQ(Get(56, key_, 0), 0) << "a key-only step";
  EXPECT_EQ(key_.substr(0, 4), "0050");
  ASSERT_EQ(Insert(other, Rec("0055")), 0);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Code(), "0055");
  // Keyed reads among the records read ahead see the same writes.
  EXPECT_EQ(GetEqual("0040"), 4);
  ASSERT_EQ(Get(9, "0026"), 0);
  EXPECT_EQ(Code(), "0050");
  ASSERT_EQ(Get(8, "0050"), 0);
  EXPECT_EQ(Code(), "0055");
  ASSERT_EQ(GetEqual("0025"), 0);
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0010", "0020", "0025", "0050", "0055", "0060"}));
}

// Another open's writes just ahead of a walk: a record inserted right after the current one,
// the last record read ahead deleted; on the key with duplicates, a record inserted after the
// others of its value, then moved to a value behind the walk.
TEST_F(EngineTest, AWalkInsideATransactionMeetsAnotherOpensWritesJustAheadOfIt) {
  OpenCodes();
  for (const char* code : {"0010", "0020", "0030"}) ASSERT_EQ(Insert(Rec(code)), 0);
  ASSERT_EQ(Insert(Rec("0040", "g2")), 0);
  Block other{};
  ASSERT_EQ(OpenFile(other, "codes.dat"), 0);
  std::string none, data(8, '\0'), key(255, '\0');
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  ASSERT_EQ(Get(12), 0);
  ASSERT_EQ(Next(), 0);
  ASSERT_EQ(Insert(other, Rec("0025", "g3")), 0);
  ASSERT_EQ(Get(other, 5, "0040"), 0);
  ASSERT_EQ(Call(4, other, data, key, 0), 0);
  for (const char* code : {"0025", "0030"}) {
    ASSERT_EQ(Next(), 0);
    EXPECT_EQ(Code(), code);
  }
  EXPECT_EQ(Next(), 9);

  ASSERT_EQ(Get(12, "", 1), 0);
  ASSERT_EQ(Next(1), 0);
  EXPECT_EQ(Code(), "0020");
  ASSERT_EQ(Insert(other, Rec("0050", "g3")), 0);
  for (const char* code : {"0030", "0025"}) {
    ASSERT_EQ(Next(1), 0);
    EXPECT_EQ(Code(), code);
  }
  data = Rec("0050", "g0");
  ASSERT_EQ(Get(other, 5, "0050"), 0);
  ASSERT_EQ(Call(3, other, data, key, 0), 0);
  EXPECT_EQ(Next(1), 9);
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
}

TEST_F(EngineTest, InsideATransactionARecordAnotherBlockDeletedCannotBeDeletedAgain) {
  OpenCodes();
  InsertCodes({"0001", "0002"});
  Block other{};
  ASSERT_EQ(OpenFile(other, "codes.dat"), 0);
  std::string none, data(8, '\0'), key(255, '\0');
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  ASSERT_EQ(Get(other, 5, "0001"), 0);
  ASSERT_EQ(GetEqual("0001"), 0);
  ASSERT_EQ(Delete(), 0);
  EXPECT_EQ(Call(4, other, data, key, 0), 8);
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0002"}));
}

TEST_F(EngineTest, KeyedReadsInsideATransactionSeeItsOwnInsertsUpdatesAndDeletes) {
  OpenCodes();
  InsertCodes({"0010", "0020", "0030", "0040"});
  std::string none;
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  ASSERT_EQ(GetEqual("0010"), 0);
  ASSERT_EQ(Insert(Rec("0015")), 0);
  EXPECT_EQ(GetEqual("0015"), 0);
  ASSERT_EQ(GetEqual("0020"), 0);
  ASSERT_EQ(Delete(), 0);
  EXPECT_EQ(GetEqual("0020"), 4);
  ASSERT_EQ(GetEqual("0030"), 0);
  ASSERT_EQ(Update(Rec("0030", "g2")), 0);
  ASSERT_EQ(Get(8, "0020"), 0);  // Get Greater
  EXPECT_EQ(record_.substr(0, 8), Rec("0030", "g2"));
  EXPECT_EQ(Get(9, "0041"), 9);  // Get Greater or Equal past the last
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
  // A record inserted at the very value the transaction's first read failed to find, read by
  // another open.
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  EXPECT_EQ(GetEqual("0035"), 4);
  ASSERT_EQ(Insert(Rec("0035")), 0);
  Block other{};
  ASSERT_EQ(OpenFile(other, "codes.dat"), 0);
  EXPECT_EQ(Get(other, 5, "0035"), 0);
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
}

TEST_F(EngineTest, InsideATransactionGetGreaterFromEachRecordReachesTheNext) {
  OpenCodes();
  Codes codes;
  for (int i = 10; i < 50; ++i) codes.push_back("00" + std::to_string(i));
  InsertCodes(codes);
  std::string none;
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  for (size_t i = 0; i + 1 < codes.size(); ++i) {
    ASSERT_EQ(Get(8, codes[i]), 0) << codes[i];
    EXPECT_EQ(Code(), codes[i + 1]);
  }
  EXPECT_EQ(Get(8, codes.back()), 9);
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
}

// ---- Stat ----------------------------------------------------------------------------------

TEST_F(EngineTest, StatGivesTheDefinitionWithLiveCounts) {
  FileDef def = CodesDef();
  def.segments[1].flags |= kKeyAcs;
  def.acs = {IdentityAcs("UPPER850")};
  def.acs[0].weights['a'] = 'A';
  ASSERT_EQ(CreateFile("codes.dat", def), 0);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  InsertCodes({"0001", "0002", "0003"});
  std::string data(1536, ' '), key(255, ' ');
  ASSERT_EQ(Call(15, pb_, data, key, 0), 0);
  const std::string built = BuildCreateBuffer(def);
  ASSERT_EQ(data.size(), built.size());
  EXPECT_EQ(data.substr(0, 6), built.substr(0, 6));
  EXPECT_EQ(static_cast<uint8_t>(data[6]), 3) << "record count";
  EXPECT_EQ(data.substr(16 + 32), built.substr(16 + 32)) << "ACS block";
  FileDef back;
  ASSERT_EQ(ParseCreateBuffer(data, back), EngineStatus::Ok);
  EXPECT_EQ(back.acs[0].weights['a'], 'A');
  std::string shortData(20, ' ');
  EXPECT_EQ(Call(15, pb_, shortData, key, 0), 22);
}

// ---- Transactions --------------------------------------------------------------------------

TEST_F(EngineTest, AbortUndoesEveryFileOfTheFolderAndEndKeepsThem) {
  OpenCodes("a.dat");
  Block b{};
  ASSERT_EQ(CreateFile("b.dat", CodesDef()), 0);
  ASSERT_EQ(OpenFile(b, "b.dat"), 0);
  InsertCodes({"0001"});
  std::string data, key;
  ASSERT_EQ(Call(19, pb_, data, key, 0), 0);
  ASSERT_EQ(Insert(Rec("0002")), 0);
  ASSERT_EQ(Insert(b, Rec("0100")), 0);
  ASSERT_EQ(GetEqual("0001"), 0);
  ASSERT_EQ(Delete(), 0);
  EXPECT_EQ(Call(19, pb_, data, key, 0), 37);
  ASSERT_EQ(Call(21, pb_, data, key, 0), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0001"}));
  EXPECT_EQ(Walk(b, 0), Codes{});

  ASSERT_EQ(Call(1019, pb_, data, key, 0), 0);
  ASSERT_EQ(Insert(Rec("0002")), 0);
  ASSERT_EQ(Insert(b, Rec("0100")), 0);
  ASSERT_EQ(Call(20, pb_, data, key, 0), 0);
  EXPECT_EQ(Call(20, pb_, data, key, 0), 39);
  EXPECT_EQ(Call(21, pb_, data, key, 0), 39);
  ResetEngineForTest();
  ASSERT_EQ(OpenFile(pb_, "a.dat"), 0);
  ASSERT_EQ(OpenFile(b, "b.dat"), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0002"}));
  EXPECT_EQ(Walk(b, 0), (Codes{"0100"}));
}

TEST_F(EngineTest, FilesCreatedOrDroppedInATransactionFollowItsEnd) {
  OpenCodes();
  std::string data, key;
  ASSERT_EQ(Call(19, pb_, data, key, 0), 0);
  ASSERT_EQ(CreateFile("t.dat", CodesDef()), 0);
  EXPECT_EQ(CreateFile("t.dat", CodesDef()), 59);
  ASSERT_TRUE(EngineDropFile(PathOf("codes.dat")));
  ASSERT_EQ(Call(21, pb_, data, key, 0), 0);
  Block t{};
  EXPECT_EQ(OpenFile(t, "t.dat"), 12);
  EXPECT_EQ(OpenFile(t, "codes.dat"), 0);

  ASSERT_EQ(Call(19, t, data, key, 0), 0);
  ASSERT_EQ(CreateFile("t.dat", CodesDef()), 0);
  ASSERT_EQ(Call(20, t, data, key, 0), 0);
  EXPECT_EQ(OpenFile(t, "t.dat"), 0);
}

TEST_F(EngineTest, ResetAbortsAnOpenTransaction) {
  OpenCodes();
  std::string data, key;
  ASSERT_EQ(Call(19, pb_, data, key, 0), 0);
  ASSERT_EQ(Insert(Rec("0001")), 0);
  Block scratch{};
  ASSERT_EQ(Call(28, scratch, data, key, 0), 0);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(AllCodes(), Codes{});
}

// ---- Locks within one process ----------------------------------------------------------------

TEST_F(EngineTest, BlocksOfOneProcessShareTheirRecordLocks) {
  OpenCodes();
  InsertCodes({"0001", "0002"});
  Block other{};
  ASSERT_EQ(OpenFile(other, "codes.dat"), 0);
  ASSERT_EQ(Get(205, "0001"), 0);
  ASSERT_EQ(Get(other, 205, "0001"), 0);
  ASSERT_EQ(Get(other, 205, "0002"), 0) << "a new single lock replaces the block's old one";
  ASSERT_EQ(Get(405, "0002"), 0);
  ASSERT_EQ(Close(other), 0);
  EXPECT_EQ(EngineLastError(), "");
}

TEST_F(EngineTest, ReadOnlyOpenRefusesWrites) {
  OpenCodes();
  InsertCodes({"0001"});
  Block ro{};
  ASSERT_EQ(OpenFile(ro, "codes.dat", kOpenReadOnly), 0);
  EXPECT_EQ(Insert(ro, Rec("0002")), 46);
  EXPECT_EQ(Walk(ro, 0), (Codes{"0001"}));
}

// Reading a record back by position right after writing it gives what the file holds, whatever
// ran in between: nothing, another open's update, an aborted transaction, another position.
TEST_F(EngineTest, GetDirectAfterAWriteGivesWhatTheFileHolds) {
  struct Case {
    const char* name;
    bool otherUpdates, inTransactionAborted, otherPosition;
    std::string expected;
  };
  const Case cases[] = {
      {"straight after", false, false, false, Rec("0001", "bz", "n1")},
      {"another open updated it", true, false, false, Rec("0001", "cc", "o2")},
      {"transaction aborted", false, true, false, Rec("0001", "aa", "..")},
      {"another position", false, false, true, Rec("0002", "bb", "..")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetEngineForTest();
    pb_.fill(0);
    OpenCodes(std::string("d") + std::to_string(&c - cases) + ".dat");
    ASSERT_EQ(Insert(Rec("0001", "aa")), 0);
    ASSERT_EQ(Insert(Rec("0002", "bb")), 0);
    ASSERT_EQ(GetEqual("0002"), 0);
    const uint32_t other = Position(pb_);
    ASSERT_EQ(GetEqual("0001"), 0);
    const uint32_t pos = Position(pb_);
    std::string dummy;
    if (c.inTransactionAborted) {
      ASSERT_EQ(Call(19, pb_, dummy, dummy, 0), 0);
    }
    ASSERT_EQ(Update(Rec("0001", "bz", "n1"), 1), 0);
    if (c.inTransactionAborted) {
      ASSERT_EQ(Call(21, pb_, dummy, dummy, 0), 0);
    }
    if (c.otherUpdates) {
      Block pb2{};
      ASSERT_EQ(OpenFile(pb2, std::string("d") + std::to_string(&c - cases) + ".dat"), 0);
      ASSERT_EQ(Get(pb2, 5, "0001"), 0);
      std::string data = Rec("0001", "cc", "o2"), key(255, '\0');
      ASSERT_EQ(Call(3, pb2, data, key, 0), 0);
    }
    ASSERT_EQ(GetDirect(c.otherPosition ? other : pos, 1), 0);
    EXPECT_EQ(record_.substr(0, 8), c.expected);
    EXPECT_EQ(key_.substr(0, 2), c.expected.substr(4, 2));
    // The walk on key 1 goes on from the record as read.
    const int next = Next(1);
    if (c.expected.substr(4, 2) == "cc" || c.expected.substr(4, 2) == "bz") {
      EXPECT_EQ(next, 9);
    } else {
      ASSERT_EQ(next, 0);
      EXPECT_GT(record_.substr(4, 2), c.expected.substr(4, 2));
    }
  }
}

// An update that leaves every key as it was, and one that moves a key, both leave the record
// reachable on every key by its new values only.
TEST_F(EngineTest, UpdatesKeepEveryKeyInStepWithTheRecord) {
  struct Case {
    const char* name;
    std::string group, text;
    Codes byGroup;
  };
  const Case cases[] = {
      {"text only", "bb", "zz", {"0001", "0002", "0003"}},
      {"group moves", "cz", "zz", {"0001", "0003", "0002"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetEngineForTest();
    pb_.fill(0);
    OpenCodes(std::string("u") + std::to_string(&c - cases) + ".dat");
    for (auto [code, group] : {std::pair{"0001", "aa"}, {"0002", "bb"}, {"0003", "cc"}})
      ASSERT_EQ(Insert(Rec(code, group)), 0);
    ASSERT_EQ(GetEqual("0002"), 0);
    ASSERT_EQ(Update(Rec("0002", c.group, c.text)), 0);
    ASSERT_EQ(GetEqual("0002"), 0);
    EXPECT_EQ(record_.substr(0, 8), Rec("0002", c.group, c.text));
    ASSERT_EQ(Get(5, c.group, 1), 0);
    EXPECT_EQ(Code(), "0002");
    if (c.group != "bb") {
      EXPECT_EQ(Get(5, "bb", 1), 4);
    }
    EXPECT_EQ(AllCodes(1), c.byGroup);
    EXPECT_EQ(AllCodes(0), (Codes{"0001", "0002", "0003"}));
  }
}

}  // namespace
}  // namespace palvorin::testing
