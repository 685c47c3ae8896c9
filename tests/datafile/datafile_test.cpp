// The record-file layer over the real engine, in a temporary installation whose dictionaries
// come from the module's dictionary source. The engine can be wrapped to play another
// workstation that holds locks.
#include "datafile/datafile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "datafile/dictionary.h"
#include "engine/engine.h"
#include "session/session.h"
#include "support/store_choice.h"

namespace palvorin {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The few record layouts these tests use (the module's own live above this layer).
namespace hrebuts {
constexpr const char* kFile = "DADES\\HRebuts";
constexpr int kHandle = 45, kCode = 0, kSequence = 4, kConcept = 6, kAmount = 12, kLength = 21;
}  // namespace hrebuts
namespace hprobase {
constexpr const char* kFile = "DADES\\HProBase";
constexpr int kHandle = 42, kOwnerName = 21, kLength = 300;
}  // namespace hprobase
namespace hconcept {
constexpr const char* kFile = "DADES\\HConcept";
constexpr int kHandle = 49, kLength = 32;
}  // namespace hconcept
namespace hresrebu {
constexpr int kHandle = 69, kLength = 9;
}  // namespace hresrebu

std::string BlankRecord(int length) { return std::string(length, ' '); }
void PutText(std::string& rec, int at, int width, std::string_view text) {
  std::string field(text.substr(0, width));
  field.resize(width, ' ');
  rec.replace(at, width, field);
}
std::string GetText(const std::string& rec, int at, int width) { return rec.substr(at, width); }
int GetByte(const std::string& rec, int at) { return static_cast<unsigned char>(rec[at]); }
void PutDword(std::string& rec, int at, int32_t value) {
  for (int i = 0; i < 4; ++i) rec[at + i] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
}
int32_t GetDword(const std::string& rec, int at) {
  uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = u << 8 | static_cast<uint32_t>(GetByte(rec, at + i));
  return static_cast<int32_t>(u);
}

std::string Trimmed(const std::string& text) {
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

// Packed digits of a number, `width` bytes.
std::string Packed(int value, int width) {
  std::string bytes(width, '\x80');
  for (int i = width - 1; i >= 0; --i, value /= 100) bytes[i] = static_cast<char>(128 + value % 100);
  return bytes;
}

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDataFilesForTest();
    ResetSessionForTest();
    ResetEngineForTest();
    root_ = fs::temp_directory_path() /
            ("palvorin-datafile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "ddf");
    fs::create_directories(root_ / "DADES");
    std::vector<DictFile> files;
    std::string error;
    ASSERT_TRUE(ParseDictionarySource(
        ReadFile(fs::path(PALVORIN_SOURCE_DIR) / "install/dict/files.txt"), files, error))
        << error;
    // A file whose second key is a binary number, for the collation form.
    ASSERT_TRUE(ParseDictionarySource("file Numbers 8\nkey 0,2\nkey dup 0,2 + 2,4,binary\n",
                                      extra_, error))
        << error;
    files.insert(files.end(), extra_.begin(), extra_.end());
    for (const DictFile& f : files) {
      std::ofstream(root_ / "ddf" / (f.base + ".xdf"), std::ios::binary) << DictionaryBytes(f);
    }
    SessionState().rootDir = root_.string() + "/";
    DataFiles().logPath = (root_ / "db.log").string();
    DbEnvironment& env = DataFiles().env;
    env.showMessage = [this](int row, const std::string& text) {
      messages_.push_back(std::to_string(row) + ":" + text);
    };
    env.closeMessage = [this] { ++closed_; };
    env.beep = [] {};
    env.discardKeys = [] {};
    env.waitKey = [this] { ++keysAwaited_; };
    env.sleep = [this](int ms) { sleeps_.push_back(ms); };
    env.random = [] { return 0.25; };
    env.exit = [this](int code) { exitCode_ = code; };
    std::string area;  // the installation's database exists, as in any installation in use
    int status = 0;
    DbOpen(1, Dades("DADES\\HConcept"), area, status);
    DbReset(status);
    messages_.clear();
    keysAwaited_ = closed_ = 0;
  }

  void TearDown() override {
    int status = 0;
    DbReset(status);
    ResetEngineForTest();
    ResetDataFilesForTest();
    fs::remove_all(root_);
  }

  std::string Dades(const char* file) { return root_.string() + "/" + file; }

  // The charges file under its handle, bound to charge_.
  void OpenCharges() {
    int status = -1;
    DbOpen(hrebuts::kHandle, Dades(hrebuts::kFile), charge_, status);
    ASSERT_EQ(status, 0);
  }

  // Inserts charge `sequence` of co-owner 12.`owner` with concept `concept`.
  int PutCharge(int owner, int sequence, const std::string& conceptCode = "ADM") {
    charge_ = BlankRecord(hrebuts::kLength);
    charge_.replace(hrebuts::kCode, 4, Packed(12, 2) + Packed(owner, 2));
    charge_.replace(hrebuts::kSequence, 2, Packed(sequence, 2));
    PutText(charge_, hrebuts::kConcept, 3, conceptCode);
    PutDword(charge_, hrebuts::kAmount, sequence * 100);
    int status = -1;
    DbInsert(hrebuts::kHandle, status);
    return status;
  }

  std::string OwnerKey(int owner) { return Packed(12, 2) + Packed(owner, 2); }
  std::string ChargeKey(int owner, int sequence) { return OwnerKey(owner) + Packed(sequence, 2); }
  int CurrentSequence() { return GetDword(charge_, hrebuts::kAmount) / 100; }

  DbSlotState& Slot(int handle) {
    for (DbSlotState& s : DataFiles().slots) {
      if (s.handle == handle) return s;
    }
    return DataFiles().slots[0];
  }

  // The charges file holding charge 12.5/1, in lock mode "A".
  void ChargeReadWithLocks() {
    OpenCharges();
    ASSERT_EQ(PutCharge(5, 1), 0);
    int status = 0;
    DbLockMode(hrebuts::kHandle, "A", status);
  }

  // Wraps the engine: `play` sees every call first and may answer it instead (nonzero).
  void WrapEngine(std::function<int(uint16_t op)> play) {
    DataFiles().env.engine = [this, play](uint16_t op, void* pos, void* data, uint32_t* len,
                                          void* key, uint8_t keyLen, int8_t keyNum) -> int16_t {
      ops_.push_back(op);
      if (int answer = play(op); answer != 0) return static_cast<int16_t>(answer);
      return BTRCALL(op, pos, data, len, key, keyLen, keyNum);
    };
  }

  fs::path root_;
  std::vector<DictFile> extra_;
  std::string charge_;
  std::vector<std::string> messages_;
  std::vector<int> sleeps_;
  std::vector<int> ops_;
  int closed_ = 0;
  int keysAwaited_ = 0;
  int exitCode_ = -1;
};

// ---- Open ------------------------------------------------------------------------------------

TEST_F(DataFileTest, FortyFirstOpenAndSecondOpenOfAHandleAreRefusedQuietly) {
  std::vector<std::string> areas(41);
  int status = -1;
  for (int h = 1; h <= 40; ++h) {
    DbOpen(100 + h, Dades("DADES\\HConcept"), areas[h - 1], status);
    ASSERT_EQ(status, 0) << h;
  }
  DbOpen(200, Dades("DADES\\HConcept"), areas[40], status);
  EXPECT_EQ(status, kDbNoFreeSlot);
  DbOpen(101, Dades("DADES\\HConcept"), areas[40], status);
  EXPECT_EQ(status, kDbAlreadyOpen);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(Slot(101).handle, 101);
  EXPECT_EQ(&Slot(101), &DataFiles().slots[40]);  // the highest free slot first
}

TEST_F(DataFileTest, ExtensionRunsFromTheFirstDotAfterTheLastSeparator) {
  std::vector<std::string> paths;
  DataFiles().env.engine = [&paths](uint16_t op, void* pos, void* data, uint32_t* len,
                                    void* key, uint8_t keyLen, int8_t keyNum) -> int16_t {
    if (op == 0) paths.emplace_back(static_cast<const char*>(key));
    return BTRCALL(op, pos, data, len, key, keyLen, keyNum);
  };
  fs::create_directories(root_ / "A.B");
  struct Case {
    std::string name, opened;
  };
  const std::string r = root_.string();
  std::string made;
  int madeStatus = -1;
  DbOpen(99, r + "/A.B/HConcept", made, madeStatus);  // its folder's new database
  messages_.clear();
  const Case kCases[] = {
      {r + "/DADES\\HConcept", r + "/DADES\\HConcept.dat"},
      {r + "/DADES\\HConcept.btr", r + "/DADES\\HConcept.btr"},
      {r + "/DADES\\HConcept.old.dat", r + "/DADES\\HConcept.old.dat"},
      {r + "/A.B/HConcept", r + "/A.B/HConcept.dat"},
  };
  int handle = 1;
  for (const Case& c : kCases) {
    std::string area;
    int status = -1;
    paths.clear();
    DbOpen(handle++, c.name, area, status);
    EXPECT_EQ(status, 0) << c.name;
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.back(), c.opened) << c.name;
    EXPECT_EQ(area.size(), static_cast<size_t>(hconcept::kLength)) << c.name;
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(DataFileTest, MissingFileIsCreatedFromItsDictionaryWithoutAMessage) {
  OpenCharges();
  EXPECT_TRUE(messages_.empty());
  int keyLength = 0, recordLength = 0;
  DbKeyInfo(hrebuts::kHandle, 1, keyLength, recordLength);
  EXPECT_EQ(keyLength, 7);
  EXPECT_EQ(recordLength, hrebuts::kLength);
  EXPECT_EQ(DbCurrentKey(hrebuts::kHandle), std::string(6, '\0'));
  EXPECT_EQ(charge_.size(), static_cast<size_t>(hrebuts::kLength));
}

TEST_F(DataFileTest, OpenFailureShowsTheNameAndStatusWaitsForAKeyAndStops) {
  OpenCharges();
  std::ofstream(root_ / "ddf" / "Empty.xdf", std::ios::binary);  // an empty dictionary
  struct Case {
    const char* language;
    const char* file;
    const char* text;
  };
  const Case kCases[] = {
      {"CAT", "DADES\\Empty", "NO ES POT ACCEDIR AL FITXER "},
      {"SPA", "DADES\\Empty", "NO SE PUEDE ACCEDER AL FICHERO "},
      {"GLG", "DADES\\Empty", "NOM SE PODE ACEDER AO FICHEIRO "},
      {"OCI", "DADES\\Empty", "NON SE P\xE3T ACCEDIR ATH FICH\xD4R "},
  };
  for (const Case& c : kCases) {
    SessionState().languageCode = c.language;
    messages_.clear();
    exitCode_ = -1;
    std::string area;
    int status = 0;
    DbOpen(7, Dades(c.file), area, status);
    EXPECT_NE(status, 0) << c.file;
    ASSERT_EQ(messages_.size(), 1u) << c.file;
    std::string file = c.file;
    file.replace(file.find('\\'), 1, "/");
    std::string want = std::string("12:") + c.text + Dades(file.c_str()) + ".dat: " +
                       DbStatusText(status);
    EXPECT_EQ(messages_[0], want);
    EXPECT_EQ(exitCode_, 1) << c.file;
    // Every file was released: the charges file is no longer open.
    EXPECT_EQ(DbGetStatus(hrebuts::kHandle, 0, "", 1), kDbNotOpen) << c.file;
    OpenCharges();
  }
  EXPECT_EQ(keysAwaited_, 4);
  EXPECT_EQ(closed_, 4);
}

TEST_F(DataFileTest, AMissingFileWithoutItsDictionaryNamesBothAsTheSystemShowsThem) {
  fs::remove_all(root_ / "ddf");
  for (auto [language, missing] : {std::pair{"CAT", "NO ES POT CREAR EL FITXER "},
                                   {"SPA", "NO SE PUEDE CREAR EL FICHERO "}}) {
    SessionState().languageCode = language;
    messages_.clear();
    std::string area;
    int status = 0;
    DbOpen(7, Dades("DADES\\hresrebu"), area, status);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].find(std::string("12:") + missing + Dades("DADES/hresrebu.dat: ")), 0u)
        << messages_[0];
    EXPECT_NE(messages_[0].find(Dades("ddf/hresrebu.xdf")), std::string::npos) << messages_[0];
    EXPECT_EQ(exitCode_, 1);
  }
}

TEST_F(DataFileTest, OpenOfAFileLockedAsAWholeWaitsThreeSecondsAtATimeWithTheLockMessage) {
  int refusals = 2;
  WrapEngine([&](uint16_t op) { return op == 0 && refusals-- > 0 ? 85 : 0; });
  OpenCharges();
  EXPECT_EQ(sleeps_, (std::vector<int>{3000, 3000}));
  EXPECT_EQ(messages_, (std::vector<std::string>{"24:FITXER BLOQUEJAT. ESPEREU UN MOMENT."}));
  EXPECT_EQ(closed_, 1);
  // With a limit, the open gives up once it is spent.
  int status = 0;
  DbReset(status);
  DataFiles().lockWaitLimitMs = 5000;
  refusals = 100;
  DbOpen(hrebuts::kHandle, Dades(hrebuts::kFile), charge_, status);
  EXPECT_EQ(sleeps_, (std::vector<int>{3000, 3000, 3000, 2000}));
  EXPECT_EQ(exitCode_, 1);
}

TEST_F(DataFileTest, InTransactionsALockIsNotedNotWaitedForAndABusyBeginWaitsHoldingNothing) {
  ChargeReadWithLocks();
  int status = 0;
  int busy = 2;
  WrapEngine([&](uint16_t op) { return op == 19 && busy-- > 0 ? 85 : op == 205 ? 84 : 0; });
  EXPECT_EQ(DbTransaction(hrebuts::kHandle, 'B'), 0);
  EXPECT_EQ(ops_, (std::vector<int>{27, 19, 19, 19})) << "locks let go, then the folder waited for";
  EXPECT_EQ(sleeps_, (std::vector<int>{2501, 2501}));
  EXPECT_EQ(closed_, 1);
  DbGet(hrebuts::kHandle, 0, ChargeKey(5, 1), 0, status);
  EXPECT_EQ(status, 84);
  EXPECT_TRUE(DbTransactionMetLock());
  EXPECT_EQ(sleeps_.size(), 2u);
  EXPECT_EQ(DbTransaction(hrebuts::kHandle, 'A'), 0);
  DataFiles().lockWaitLimitMs = 3000;
  busy = 100;
  EXPECT_EQ(DbTransaction(hrebuts::kHandle, 'B'), 85);
  EXPECT_EQ(sleeps_, (std::vector<int>{2501, 2501, 2501, 499}));
  EXPECT_FALSE(DbTransactionMetLock());
}

TEST_F(DataFileTest, ANewDatabaseIsAnnouncedOnceAndWaitsForAKey) {
  if (testing::OnServer()) GTEST_SKIP() << "a local database only";
  fs::create_directories(root_ / "NOU");
  std::string area;
  int status = -1;
  DbOpen(7, Dades("NOU\\HConcept"), area, status);
  DbOpen(8, Dades("NOU\\HRebuts"), charge_, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(messages_, (std::vector<std::string>{"12:BASE DE DADES NOVA CREADA A " +
                                                 (root_ / "NOU").string() + "/"}));
  EXPECT_EQ(keysAwaited_, 1);
}

TEST_F(DataFileTest, FileCreatedElsewhereBetweenOpenAndCreateIsOpened) {
  OpenCharges();
  ASSERT_EQ(PutCharge(5, 1), 0);
  int status = 0;
  DbReset(status);
  // The first open finds nothing; by the time of the create another workstation has made it.
  bool missing = true;
  WrapEngine([&](uint16_t op) { return op == 0 && std::exchange(missing, false) ? 12 : 0; });
  OpenCharges();
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(ops_, (std::vector<int>{0, 14, 0, 15}));
  EXPECT_EQ(DbGetStatus(hrebuts::kHandle, 0, ChargeKey(5, 1), 0), 0) << "the file was kept";
}

// ---- Reads and skips -------------------------------------------------------------------------

TEST_F(DataFileTest, GetUsesOnlyTheKeyLengthAndAPartialValueReadsTheFirstAtOrAfter) {
  OpenCharges();
  for (int seq : {1, 2, 3}) ASSERT_EQ(PutCharge(5, seq), 0);
  ASSERT_EQ(PutCharge(7, 1), 0);
  int status = -1;
  DbGet(hrebuts::kHandle, 0, ChargeKey(5, 2) + "overlong", 0, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(CurrentSequence(), 2);
  DbGet(hrebuts::kHandle, 0, OwnerKey(6), 1, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(charge_.substr(0, 4), OwnerKey(7));
  DbGet(hrebuts::kHandle, 0, OwnerKey(6), -1, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(DbCurrentKey(hrebuts::kHandle), ChargeKey(5, 3));
  EXPECT_EQ(DbGetStatus(hrebuts::kHandle, 0, ChargeKey(5, 9), 0), 4);
  EXPECT_EQ(DbGetStatus(hrebuts::kHandle, 2, "", 0), kDbBadKey);
  EXPECT_EQ(DbGetStatus(hrebuts::kHandle, -1, "", 0), kDbBadKey);
}

TEST_F(DataFileTest, SkipZeroChangesNothingAndSkipThreeBringsOnlyTheThirdRecord) {
  OpenCharges();
  for (int seq = 1; seq <= 5; ++seq) ASSERT_EQ(PutCharge(5, seq), 0);
  int status = -1;
  DbGet(hrebuts::kHandle, 0, OwnerKey(5), 1, status);
  std::string first = charge_;
  DbSkip(hrebuts::kHandle, 0, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(charge_, first);

  DbLockMode(hrebuts::kHandle, "B", status);
  ops_.clear();
  WrapEngine([](uint16_t) { return 0; });
  DbSkip(hrebuts::kHandle, 3, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(CurrentSequence(), 4);
  EXPECT_EQ(DbCurrentKey(hrebuts::kHandle), ChargeKey(5, 4));
  // The steps on the way take no lock; only the record landed on is read with one.
  EXPECT_EQ(ops_, (std::vector<int>{6, 6, 206}));
  DbSkip(hrebuts::kHandle, -2, status);
  EXPECT_EQ(CurrentSequence(), 2);
  DbSkip(hrebuts::kHandle, 9, status);
  EXPECT_EQ(status, 9);
  EXPECT_EQ(CurrentSequence(), 2);  // the record area keeps the last record landed on
}

// ---- Writes and the log ----------------------------------------------------------------------

TEST_F(DataFileTest, EveryInsertAndUpdateLeavesALogLineEvenWhenRefused) {
  OpenCharges();
  ASSERT_EQ(PutCharge(5, 1), 0);
  ASSERT_EQ(PutCharge(5, 1), 5);
  EXPECT_EQ(DbCurrentKey(hrebuts::kHandle), std::string(6, '\0'));
  int status = -1;
  DbGet(hrebuts::kHandle, 0, ChargeKey(5, 1), 0, status);
  charge_.replace(hrebuts::kSequence, 2, Packed(9, 2));  // key 0 cannot change
  DbUpdate(hrebuts::kHandle, status);
  EXPECT_EQ(status, 10);
  EXPECT_EQ(CurrentSequence(), 1);  // read back as the file holds it
  EXPECT_EQ(DbCurrentKey(hrebuts::kHandle), ChargeKey(5, 1));
  DbDelete(hrebuts::kHandle, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(root_ / "db.log"),
            std::string(" 45 ") + std::string(10, ' ') + " 2 " + std::string(11, ' ') + " 0 \r\n" +
                " 45 " + std::string(10, ' ') + " 2 " + std::string(11, ' ') + " 5 \r\n" +
                " 45 " + std::string(10, ' ') + " 3 " + std::string(11, ' ') + " 10 \r\n");
}

TEST_F(DataFileTest, ATransactionsLogLinesAreWrittenTogetherWhenItEnds) {
  OpenCharges();
  ASSERT_EQ(DbTransaction(hrebuts::kHandle, 'b'), 0);
  ASSERT_EQ(PutCharge(5, 1), 0);
  ASSERT_EQ(PutCharge(5, 2), 0);
  EXPECT_FALSE(fs::exists(root_ / "db.log"));
  ASSERT_EQ(DbTransaction(hrebuts::kHandle, 'A'), 0);
  const std::string line = " 45 " + std::string(10, ' ') + " 2 " + std::string(11, ' ') + " 0 \r\n";
  EXPECT_EQ(ReadFile(root_ / "db.log"), line + line) << "an undone write was still tried";
  EXPECT_EQ(DbTransaction(hrebuts::kHandle, 'S'), 0);
}

TEST_F(DataFileTest, UpdateAfterAFailedReadChangesNothing) {
  OpenCharges();
  ASSERT_EQ(PutCharge(5, 1), 0);
  ASSERT_EQ(PutCharge(5, 2), 0);
  EXPECT_EQ(DbGetStatus(hrebuts::kHandle, 0, ChargeKey(5, 9), 0), 4);
  PutDword(charge_, hrebuts::kAmount, 12345);
  int status = -1;
  DbUpdate(hrebuts::kHandle, status);
  EXPECT_EQ(status, 8);
  for (int seq : {1, 2}) {
    DbGet(hrebuts::kHandle, 0, ChargeKey(5, seq), 0, status);
    EXPECT_EQ(GetDword(charge_, hrebuts::kAmount), seq * 100);
  }
}

TEST_F(DataFileTest, UpdateThatMovesARecordContinuesFromItsNewPlace) {
  std::string owner;
  int status = -1;
  DbOpen(hprobase::kHandle, Dades(hprobase::kFile), owner, status);
  ASSERT_EQ(status, 0);
  for (auto [n, name] : {std::pair{1, "BOSCH*Anna"}, {2, "COLL*Pere"}, {3, "DURAN*Rosa"}}) {
    owner = BlankRecord(hprobase::kLength);
    owner.replace(0, 4, OwnerKey(n));
    PutText(owner, hprobase::kOwnerName, 40, name);
    DbInsert(hprobase::kHandle, status);
    ASSERT_EQ(status, 0);
  }
  DbGet(hprobase::kHandle, 1, "BOSCH", 1, status);
  ASSERT_EQ(status, 0);
  PutText(owner, hprobase::kOwnerName, 40, "CUBELLS*Anna");  // now sorts between the others
  DbUpdate(hprobase::kHandle, status);
  EXPECT_EQ(status, 0);
  DbSkip(hprobase::kHandle, 1, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Trimmed(GetText(owner, hprobase::kOwnerName, 40)), "DURAN*Rosa");
}

// ---- Ranges ----------------------------------------------------------------------------------

TEST_F(DataFileTest, RangesWalkForwardOrBackwardAndStopAtTheHighBound) {
  OpenCharges();
  for (int owner : {2, 4, 6, 8}) ASSERT_EQ(PutCharge(owner, 1), 0);
  auto walk = [&](int low, int high) {
    std::vector<int> owners;
    int status = 0;
    DbSetRange(hrebuts::kHandle, 0, OwnerKey(low), OwnerKey(high), status);
    EXPECT_EQ(status, 0);
    while (DbRangeNext(hrebuts::kHandle) == 0) owners.push_back(GetByte(charge_, 3) - 128);
    EXPECT_EQ(Slot(hrebuts::kHandle).keyNumber, 0);  // the range is gone
    EXPECT_TRUE(Slot(hrebuts::kHandle).rangeHigh.empty());
    return owners;
  };
  EXPECT_EQ(walk(3, 6), (std::vector<int>{4, 6}));  // the high bound is 0xFF-padded
  EXPECT_EQ(walk(7, 3), (std::vector<int>{6, 4}));  // backwards, ending below the high bound
  EXPECT_EQ(walk(9, 9), std::vector<int>{});
  int status = 0;
  DbSetRange(hrebuts::kHandle, 3, "", "", status);
  EXPECT_EQ(status, kDbBadKey);
}

// ---- Positions, lock modes, numbers, collation -----------------------------------------------

TEST_F(DataFileTest, PositionReadsARecordBackOnTheCurrentKey) {
  OpenCharges();
  for (int seq = 1; seq <= 3; ++seq) ASSERT_EQ(PutCharge(5, seq), 0);
  int status = -1;
  DbGet(hrebuts::kHandle, 0, ChargeKey(5, 2), 0, status);
  int32_t second = DbPosition(hrebuts::kHandle, 0);
  EXPECT_NE(second, 0);
  DbGet(hrebuts::kHandle, 0, ChargeKey(5, 3), 0, status);
  EXPECT_EQ(DbPosition(hrebuts::kHandle, second), 0);
  EXPECT_EQ(CurrentSequence(), 2);
  DbSkip(hrebuts::kHandle, 1, status);
  EXPECT_EQ(CurrentSequence(), 3);
}

TEST_F(DataFileTest, LockModesAreSavedAndRestoredPerFile) {
  OpenCharges();
  std::string other;
  int status = 0;
  DbOpen(hconcept::kHandle, Dades(hconcept::kFile), other, status);
  DbLockMode(hrebuts::kHandle, "a", status);
  DbLockMode(hrebuts::kHandle, "+D", status);
  DbLockMode(hconcept::kHandle, "+b", status);
  EXPECT_EQ(Slot(hrebuts::kHandle).lockMode, 0);
  DbLockMode(hrebuts::kHandle, "-", status);
  EXPECT_EQ(Slot(hrebuts::kHandle).lockMode, 1);
  EXPECT_EQ(Slot(hconcept::kHandle).lockMode, 2);
  DbLockMode(hrebuts::kHandle, "-x", status);  // nothing saved any more, "x" ignored
  EXPECT_EQ(Slot(hrebuts::kHandle).lockMode, 1);
  DbLockMode(hconcept::kHandle, "-", status);
  EXPECT_EQ(Slot(hconcept::kHandle).lockMode, 0);
  status = 0;
  DbLockMode(99, "A", status);
  EXPECT_EQ(status, kDbNotOpen);
}

TEST_F(DataFileTest, LockedRecordWaitsWithTheMessageUntilReleased) {
  ChargeReadWithLocks();
  int status = 0;
  int held = 3;
  WrapEngine([&](uint16_t op) { return op == 205 && held-- > 0 ? 84 : 0; });
  DbGet(hrebuts::kHandle, 0, ChargeKey(5, 1), 0, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(CurrentSequence(), 1);
  EXPECT_EQ(messages_, (std::vector<std::string>{"24:FITXER BLOQUEJAT. ESPEREU UN MOMENT."}));
  EXPECT_EQ(closed_, 1);
  EXPECT_EQ(sleeps_, (std::vector<int>{2501, 2501, 2501}));  // 1 + 10000 * 0.25

  // Without waiting, the caller hears of the lock.
  DbLockMode(hrebuts::kHandle, "B", status);
  held = 1;
  DbGet(hrebuts::kHandle, 0, ChargeKey(5, 1), 0, status);
  EXPECT_EQ(status, 84);
  EXPECT_EQ(sleeps_.size(), 3u);
}

TEST_F(DataFileTest, NextNumberFindsTheFirstGapUnderThePrefix) {
  OpenCharges();
  std::string code;
  int status = -1;
  DbNextNumber(hrebuts::kHandle, 0, OwnerKey(5), code, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(code, Packed(1, 2));
  for (int seq : {1, 2, 4}) ASSERT_EQ(PutCharge(5, seq), 0);
  ASSERT_EQ(PutCharge(6, 3), 0);  // another co-owner's numbers do not count
  DbNextNumber(hrebuts::kHandle, 0, OwnerKey(5), code, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(code, Packed(3, 2));
  DbNextNumber(hrebuts::kHandle, 0, OwnerKey(6), code, status);
  EXPECT_EQ(code, Packed(1, 2));
  DbNextNumber(hrebuts::kHandle, 0, ChargeKey(5, 1), code, status);
  EXPECT_EQ(status, kDbBadKey);
}

TEST_F(DataFileTest, NextNumberReportsAFullRunWithNine) {
  std::string entry;
  int status = -1;
  DbOpen(hresrebu::kHandle, Dades("hresrebu"), entry, status);
  ASSERT_EQ(status, 0);
  // Key 0 is group (2) + concept (3): with a 4-byte prefix one byte numbers 01 to 99.
  for (int n = 1; n <= 99; ++n) {
    entry = BlankRecord(hresrebu::kLength);
    entry.replace(0, 4, Packed(12, 2) + "AB");
    entry[4] = static_cast<char>(128 + n);
    DbInsert(hresrebu::kHandle, status);
    ASSERT_EQ(status, 0);
  }
  std::string code;
  DbNextNumber(hresrebu::kHandle, 0, Packed(12, 2) + "AB", code, status);
  EXPECT_EQ(status, 9);
}

TEST_F(DataFileTest, CollationFormFoldsNamesAndTurnsBinaryNumbersAround) {
  std::string owner;
  int status = -1;
  DbOpen(hprobase::kHandle, Dades(hprobase::kFile), owner, status);
  DbGet(hprobase::kHandle, 1, "", 1, status);  // key 1 current
  EXPECT_EQ(KeyCollate("gar\x87\xA1" "a", hprobase::kHandle), "GARCIA");

  std::string numbers;
  DbOpen(5, Dades("Numbers"), numbers, status);
  ASSERT_EQ(status, 0);
  DbGet(5, 1, "", 1, status);
  EXPECT_EQ(KeyCollate(std::string("ab\x01\x02\x03\x04", 6), 5), std::string("ab\x04\x03\x02\x01", 6));
  EXPECT_EQ(KeyCollate(std::string("ab\x01", 3), 5), std::string("ab\0\0\0\x01", 6));
  // So numbers compare in order: 256 after 255 although its low byte is smaller.
  std::string n255("ab\xFF\0\0\0", 6), n256("ab\0\x01\0\0", 6);
  EXPECT_LT(KeyCollate(n255, 5), KeyCollate(n256, 5));
}

TEST_F(DataFileTest, NamesWalkWithoutRegardToCaseOrAccentsInCollationOrder) {
  std::string owner;
  int status = -1;
  DbOpen(hprobase::kHandle, Dades(hprobase::kFile), owner, status);
  ASSERT_EQ(status, 0);
  const char* kNames[] = {"g\xA2mez*Pau", "GARCIA*Bea", "gar\x87\xA1" "a*Ana", "ABAD*Rita",
                          "\x90SCOLA*Joan" /* ESCOLA with E acute */};
  int n = 0;
  for (const char* name : kNames) {
    owner = BlankRecord(hprobase::kLength);
    owner.replace(0, 4, OwnerKey(++n));
    PutText(owner, hprobase::kOwnerName, 40, name);
    DbInsert(hprobase::kHandle, status);
    ASSERT_EQ(status, 0) << name;
  }
  std::vector<std::string> collated;
  std::vector<int> owners;
  for (DbGet(hprobase::kHandle, 1, "", 1, status); status == 0;
       DbSkip(hprobase::kHandle, 1, status)) {
    collated.push_back(DbCollateKey(hprobase::kHandle));
    owners.push_back(GetByte(owner, 3) - 128);
  }
  EXPECT_EQ(owners, (std::vector<int>{4, 5, 3, 2, 1}));  // ABAD, ESCOLA, GARCIA Ana, Bea, GOMEZ
  EXPECT_TRUE(std::is_sorted(collated.begin(), collated.end()));
  // A partial name typed in small letters finds the first of its group.
  DbGet(hprobase::kHandle, 1, "garcia", 1, status);
  EXPECT_EQ(GetByte(owner, 3) - 128, 3);
}

TEST_F(DataFileTest, AHandleThatIsNotOpenGivesThreeAndNothingElse) {
  int status = 0;
  std::string code;
  int keyLength = 9, recordLength = 9;
  for (int handle : {0, 77}) {
    DbGet(handle, 0, "", 0, status);
    EXPECT_EQ(status, kDbNotOpen);
    status = 0;
    DbSkip(handle, 1, status);
    EXPECT_EQ(status, kDbNotOpen);
    status = 0;
    DbInsert(handle, status);
    EXPECT_EQ(status, kDbNotOpen);
    EXPECT_EQ(DbRangeNext(handle), kDbNotOpen);
    EXPECT_EQ(DbPosition(handle, 0), 0);
    EXPECT_EQ(DbPosition(handle, 5), kDbNotOpen);
    EXPECT_EQ(DbCollateKey(handle), "");
    DbKeyInfo(handle, 0, keyLength, recordLength);
    EXPECT_EQ(keyLength + recordLength, 0);
  }
  EXPECT_FALSE(fs::exists(root_ / "db.log"));
}

TEST_F(DataFileTest, ResetReleasesEveryFileAndItsSavedLockModes) {
  OpenCharges();
  int status = 0;
  DbLockMode(hrebuts::kHandle, "A+", status);
  DbReset(status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(DbGetStatus(hrebuts::kHandle, 0, "", 1), kDbNotOpen);
  EXPECT_TRUE(DataFiles().lockStack.empty());
  OpenCharges();  // the file is there now: it opens without being created again
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace palvorin
