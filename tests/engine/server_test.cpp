// What only a folder on a database server has: a connection that can be lost, a connection
// string that may hold a password, and copies between a local folder and the server.
#include <libpq-fe.h>
#include <unistd.h>

#include "engine/pgstore.h"
#include "engine_fixture.h"

namespace palvorin::testing {
namespace {

class ServerTest : public EngineTest {
 protected:
  void SetUp() override {
    if (!OnServer()) GTEST_SKIP() << "needs a server";
    EngineTest::SetUp();
  }
  static std::string Server() { return std::getenv("PALVORIN_PG"); }
  // Runs `sql` on a connection of the test's own.
  static void OnOwnConnection(const std::string& sql) {
    PGconn* conn = PQconnectdb(Server().c_str());
    PQclear(PQexec(conn, sql.c_str()));
    PQfinish(conn);
  }
  // The codes of `folder`'s codes.dat in position order, through Get Direct.
  Codes ByPosition(const std::string& folder) {
    Block pb{};
    std::string data = "0000", key = folder + "/codes.dat" + std::string(1, '\0');
    if (Call(0, pb, data, key, 0) != 0) return {"not open"};
    Codes codes;
    for (uint32_t pos = 1; pos <= 8; ++pos) {
      record_.assign(64, '\0');
      std::memcpy(record_.data(), &pos, 4);
      key_.assign(255, '\0');
      if (Call(23, pb, record_, key_, 1) == 0) codes.push_back(Trim(Code()));
    }
    Close(pb);
    return codes;
  }
};

TEST_F(ServerTest, ALostConnectionAnswers95UntilTheEngineIsResetAndNeverCrashes) {
  OpenCodes();
  InsertCodes({"0001", "0002"});
  OnOwnConnection("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                  "application_name = 'palvorin " + std::to_string(::getpid()) + "'");
  EXPECT_EQ(GetEqual("0001"), 95);
  EXPECT_NE(EngineLastError().find("lost"), std::string::npos) << EngineLastError();
  EXPECT_EQ(Insert(Rec("0003")), 95);
  EXPECT_EQ(Close(pb_), 0);
  ResetEngineForTest();
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0002"}));
}

TEST_F(ServerTest, AnUpdateTheServerRefusesInsideATransactionFailsItAndKeepsNothingOfIt) {
  OpenCodes("refused.dat");
  InsertCodes({"0001", "0002"});
  OnOwnConnection(
      "CREATE OR REPLACE FUNCTION public.palvorin_refuse() RETURNS trigger LANGUAGE plpgsql AS "
      "'BEGIN RAISE EXCEPTION ''refused''; END'; DO 'DECLARE s text; BEGIN FOR s IN SELECT "
      "schemaname FROM pg_tables WHERE tablename = ''refused.dat'' LOOP EXECUTE format(''CREATE "
      "OR REPLACE TRIGGER refuse BEFORE UPDATE ON %I.\"refused.dat\" FOR EACH ROW EXECUTE "
      "FUNCTION public.palvorin_refuse()'', s); END LOOP; END'");
  std::string none;
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  ASSERT_EQ(Insert(Rec("0003")), 0);
  ASSERT_EQ(GetEqual("0001"), 0);
  ASSERT_EQ(Update(Rec("0001", "g1", "zz")), 0);  // answered later, at the End at the latest
  EXPECT_NE(Call(20, pb_, none, none, 0), 0);
  EXPECT_EQ(AllCodes(), (Codes{"0001", "0002"}));
  ASSERT_EQ(GetEqual("0001"), 0);
  EXPECT_EQ(record_.substr(0, 8), Rec("0001"));
}

TEST_F(ServerTest, ATransactionSeesWhatAnotherProcessDeletedAfterTheLastOneEnded) {
  OpenCodes("deleted.dat");
  InsertCodes({"0001", "0002", "0003"});
  std::string none;
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  ASSERT_EQ(GetEqual("0001"), 0);  // with the records after it
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
  OnOwnConnection("DO 'DECLARE s text; BEGIN FOR s IN SELECT schemaname FROM pg_tables WHERE "
                  "tablename = ''deleted.dat'' LOOP EXECUTE format(''DELETE FROM "
                  "%I.\"deleted.dat\" WHERE id = 2'', s); END LOOP; END'");
  ASSERT_EQ(Call(19, pb_, none, none, 0), 0);
  EXPECT_EQ(GetEqual("0002"), 4);
  ASSERT_EQ(Call(20, pb_, none, none, 0), 0);
}

TEST_F(ServerTest, APasswordInTheConnectionStringIsNeverInAMessage) {
  TempDir other;
  ASSERT_TRUE(EngineUseServer(other.path(), Server() + " password=Secret99 port=1", "dades"));
  std::string data = "0000", key = other.path() + "/codes.dat" + std::string(1, '\0');
  EXPECT_EQ(Call(0, pb_, data, key, 0), 95);
  EXPECT_NE(EngineLastError(), "");
  EXPECT_EQ(EngineLastError().find("Secret99"), std::string::npos) << EngineLastError();
  EXPECT_EQ(ServerNameForMessages("postgresql://u:Secret99@h/db").find("Secret99"),
            std::string::npos);
}

TEST_F(ServerTest, AFolderCopiedToTheServerAndBackKeepsRecordsPositionsAndOrder) {
  OpenCodes();
  InsertCodes({"0003", "0001", "0002"});
  ASSERT_EQ(GetEqual("0001"), 0);
  ASSERT_EQ(Update(Rec("0001", "g2")), 0);
  ASSERT_EQ(Close(pb_), 0);
  TempDir local, server, back;
  ASSERT_TRUE(EngineUseServer(local.path(), "", ""));  // this one stays local
  ASSERT_TRUE(EngineUseServer(back.path(), "", ""));
  int64_t records = 0;
  std::string why;
  // The fixture's folder is on the server; `local` and `back` are SQLite databases.
  ASSERT_EQ(EngineCopyFolder(dir_.path(), local.path(), false, records, why),
            EngineStatus::Ok) << why;
  EXPECT_EQ(records, 3);
  ASSERT_TRUE(EngineUseServer(server.path(), Server(), "copy_" + std::to_string(::getpid())));
  ASSERT_EQ(EngineCopyFolder(local.path(), server.path(), false, records, why), EngineStatus::Ok);
  EXPECT_EQ(EngineCopyFolder(local.path(), server.path(), false, records, why),
            EngineStatus::FileExists);
  EXPECT_NE(why.find("--replace"), std::string::npos);
  ASSERT_EQ(EngineCopyFolder(local.path(), server.path(), true, records, why), EngineStatus::Ok);
  ASSERT_EQ(EngineCopyFolder(server.path(), back.path(), false, records, why), EngineStatus::Ok);
  EXPECT_EQ(ByPosition(back.path()), (Codes{"0003", "0001", "0002"}));
  // Walking key 1 (duplicates in insertion order) and new records after the copied ones.
  ASSERT_EQ(OpenFile(pb_, "../" + std::filesystem::path(server.path()).filename().string() +
                              "/codes.dat"),
            0);
  EXPECT_EQ(AllCodes(1), (Codes{"0003", "0002", "0001"}));
  ASSERT_EQ(Insert(Rec("0004")), 0);
  EXPECT_EQ(Position(pb_), 4u);
}

}  // namespace
}  // namespace palvorin::testing
