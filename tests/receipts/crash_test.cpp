// Preparing an issue is repeatable: preparing it again, or again after a run that was killed
// at any point, gives the same files as one uninterrupted run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include "receipts/generation.h"
#include "receipts/layouts.h"
#include "support/other_process.h"
#include "support/receipts_data.h"

namespace palvorin {
namespace {

namespace fs = std::filesystem;
using testing::CoOwner;
using testing::Date;
using testing::Issue;
using testing::Params;
using testing::ReceiptsData;
using testing::Snapshot;

// Three buildings with different balance rules, six co-owners each, with every kind of
// charge: standing charges with and without counts (one ending in this issue), balance
// concepts, a quarterly and a building-relative charge, one-off charges merged into new
// standing charges and one dated after the issue, a negative receipt, fees and earlier
// collections.
void BuildMixedInstallation(ReceiptsData& d) {
  d.AddConcept("ADM", 'D');
  d.AddConcept("ASC", 'F');
  d.AddConcept("AIG", 'R');
  d.AddConcept("SAL", 'S');
  d.AddConcept("DER", 'P');
  d.AddConcept("COB", 'N');
  d.AddPeriodicity("01", 'N', 1);
  d.AddPeriodicity("TRI", 'N', 3);
  d.AddPeriodicity("BIM", 'R', 2);
  d.AddPeriodicity("EXP", 'I', 0, 0, {0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0});
  d.AddRemittance({.number = 100, .fixed = 30});
  d.AddRemittance({.number = 200, .lookForPending = true, .rate = 100, .maximum = 500});
  d.AddRemittance({.number = 300, .needsAccount = true, .rate = 50, .minimum = 20,
                   .maximum = 2000, .fixed = 5});
  const int rules[] = {2, 4, 3};
  const int buildings[] = {12, 13, 14};
  for (int i = 0; i < 3; ++i) {
    int b = buildings[i];
    d.AddBuilding(b, rules[i], 3 - i);
    for (int o = 1; o <= 6; ++o) {
      int remittance = o <= 2 ? 100 : (o <= 4 ? 200 : 300);
      int32_t balance = o % 3 == 0 ? -3000 : (o % 3 == 1 ? 4000 : 0);
      d.AddFullCoOwner(b, o, remittance, balance, o == 4 ? 500 : 0);
      int seq = 0;
      d.AddStanding(b, o, ++seq, "ADM", 5000 + b * 10 + o);
      d.AddStanding(b, o, ++seq, "AIG", 1000, 3);
      d.AddStanding(b, o, ++seq, "SAL", 800);
      d.AddStanding(b, o, ++seq, "ASC", 120, 0, "EXP");
      d.AddStanding(b, o, ++seq, "ADM", 333, 0, "BIM");
      if (o == 2) d.AddStanding(b, o, ++seq, "DER", 200, 1);
      if (o == 5) d.AddStanding(b, o, ++seq, "ADM", -15000);
      if (o == 6) d.AddStanding(b, o, ++seq, "AIG", 450, 0, "TRI");
      if (o % 2 == 1) d.AddOneOff(b, o, Date(2025, 3, 1), "DER", 150, 3, "01", "O");
      if (o == 4) d.AddOneOff(b, o, Date(2025, 4, 1), "DER", 990, 1);
      if (o == 3) d.AddCollection(b, o, Issue(25, 1), Date(2025, 1, 15), "P");
    }
  }
}

class RepeatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.dictionaryError().empty()) << data_.dictionaryError();
    BuildMixedInstallation(data_);
  }

  void Prepare() {
    SilentProgress silent;
    PerformRun(Params('P'), silent);
  }

  ReceiptsData data_;
};

TEST_F(RepeatTest, PreparingTwiceGivesTheSameFilesAsOnce) {
  Prepare();
  Snapshot once = data_.DataSnapshot();
  ASSERT_EQ(once["HCapRebu"].size(), 18u);
  ASSERT_EQ(once["HTransfe"].size(), 3u);
  // Every line belongs to a header.
  for (const std::string& line : once["HLinRebu"]) {
    bool found = false;
    for (const std::string& h : once["HCapRebu"]) found = found || h.substr(0, 6) == line.substr(0, 6);
    EXPECT_TRUE(found);
  }
  Prepare();
  EXPECT_EQ(data_.DataSnapshot(), once);
}

// The engine's write operations (insert, update, delete) counted through the layer.
bool IsWrite(uint16_t op) { return op == 2 || op == 3 || op == 4; }

// Another workstation that takes the data folder for writing 40 ms out of every 50, so that
// a run meets it busy at most of its transactions (the engine gives up on it after 5 ms).
std::unique_ptr<testing::OtherProcess> FolderHeldAtTimes(const std::string& root) {
  return std::make_unique<testing::OtherProcess>(
      [] { return 0; },
      [root] {
        std::array<uint8_t, kPosBlockSize> block{};
        std::string owner(5, '\0'), key = root + "DADES/HFinca.dat", none;
        key.resize(255, '\0');
        uint32_t length = 5;
        if (BTRCALL(0, block.data(), owner.data(), &length, key.data(), 255, 0) != 0) return;
        for (;;) {
          for (uint16_t op : {19, 20}) {
            length = 0;
            (void)BTRCALL(op, block.data(), none.data(), &length, none.data(), 0, 0);
            ::usleep(op == 19 ? 40000 : 10000);
          }
        }
      });
}

class KillTest : public RepeatTest, public ::testing::WithParamInterface<bool> {};

// Killed at spread-out points (before its first write up to its last), with or without
// another workstation holding the folder part of the time, and run again, a preparing run
// leaves the files of one uninterrupted run: no co-owner is ever written outside a
// transaction, even when one cannot begin at once.
TEST_P(KillTest, RunKilledAtAnyPointAndRunAgainGivesTheSameFiles) {
  const bool folderHeld = GetParam();
  const fs::path dades = fs::path(data_.dir().path()) / "DADES";
  const fs::path pristine = fs::path(data_.dir().path()) / "DADES.pristine";
  data_.CloseFiles();
  fs::copy(dades, pristine, fs::copy_options::recursive);

  // The uninterrupted run, counting its writes.
  data_.ReopenFiles();
  int writes = 0;
  auto engine = DataFiles().env.engine;
  DataFiles().env.engine = [&](uint16_t op, void* pos, void* buf, uint32_t* len, void* key,
                               uint8_t keyLen, int8_t keyNum) -> int16_t {
    if (IsWrite(op)) ++writes;
    return engine(op, pos, buf, len, key, keyLen, keyNum);
  };
  Prepare();
  Snapshot reference = data_.DataSnapshot();
  data_.CloseFiles();
  ASSERT_GT(writes, 100);

  const int kPoints = folderHeld ? 30 : 24;
  for (int point = 0; point < kPoints; ++point) {
    // Spread over the run, from the first write to the last.
    const int killAt = 1 + static_cast<int>(static_cast<long>(writes - 1) * point / (kPoints - 1));
    fs::remove_all(dades);
    fs::copy(pristine, dades, fs::copy_options::recursive);
    auto holder = folderHeld ? FolderHeldAtTimes(data_.dir().folder()) : nullptr;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ForgetEngineStateAfterFork();
      EngineConfig().busyTimeoutMs = 5;
      data_.ReopenFiles();
      int count = 0;
      auto real = DataFiles().env.engine;
      DataFiles().env.engine = [&](uint16_t op, void* pos, void* buf, uint32_t* len, void* key,
                                   uint8_t keyLen, int8_t keyNum) -> int16_t {
        if (IsWrite(op) && ++count == killAt) ::raise(SIGKILL);
        return real(op, pos, buf, len, key, keyLen, keyNum);
      };
      Prepare();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "write " << killAt << " of " << writes;
    holder.reset();
    data_.ReopenFiles();
    Prepare();
    EXPECT_EQ(data_.DataSnapshot(), reference) << "killed before write " << killAt;
    data_.CloseFiles();
  }
  data_.ReopenFiles();
}

INSTANTIATE_TEST_SUITE_P(FolderHeldElsewhere, KillTest, ::testing::Bool());

}  // namespace
}  // namespace palvorin
