// Receipt runs on a generated installation: co-owners in buildings of 25, each with 8 standing
// charges and 1 one-off charge. Runs each mode (verify, advance listing, preparing, and
// preparing the same issue again) and reports for each the time by the clock, the processor
// time, the processor time and the system calls per co-owner, and the disk syncs
// (bench/support/syscalls.h); then the peak memory of the process.
// Targets on the development machine for 100,000 co-owners: preparing and preparing again
// under 20 s each, the advance listing under 10 s, verify under 3 s, peak memory under
// 64 MiB, time growing linearly with the co-owners; a preparing run at most 12 system calls a
// co-owner and one disk sync per 500 co-owners plus one at the end.
//
// Usage: bench_receipts [--co-owners N] [--modes VAP] [--server CONNINFO]   (default 10,000,
// every mode, local data; with --modes only the modes named run, a preparing run twice when P
// is named; with --server the data folder lives on that PostgreSQL server, schema
// bench_receipts)
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "datafile/datafile.h"
#include "datafile/dictionary.h"
#include "print/spool.h"
#include "receipts/files.h"
#include "receipts/generation.h"
#include "receipts/layouts.h"
#include "session/session.h"
#include "support/server.h"
#include "support/syscalls.h"
#include "textlib/numbers.h"
#include "textlib/text.h"

namespace {

using namespace palvorin;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kPerBuilding = 25;

std::string Packed(long value, int width) {
  std::string bytes(width, '\x80');
  for (int i = width - 1; i >= 0; --i, value /= 100) bytes[i] = static_cast<char>(128 + value % 100);
  return bytes;
}

std::string DateOf(int y, int m, int d) { return Packed(y, 2) + Packed(m, 1) + Packed(d, 1); }

void Insert(int handle, const std::string& record) {
  RecordArea(handle) = record;
  int status = 0;
  DbInsert(handle, status);
  if (status != 0) {
    std::fprintf(stderr, "bench_receipts: insert into handle %d gave %d\n", handle, status);
    std::exit(1);
  }
}

void AddConcept(const char* code, char type) {
  std::string r = BlankRecord(hconcept::kLength);
  PutText(r, hconcept::kCode, 3, code);
  PutText(r, hconcept::kDescription, 20, code);
  PutText(r, hconcept::kType, 1, std::string(1, type));
  Insert(hconcept::kHandle, r);
}

void Periodicity(const char* code, char kind, int n, std::array<int, 12> months = {}) {
  std::string r = BlankRecord(hperiodi::kLength);
  PutText(r, hperiodi::kCode, 4, code);
  PutText(r, hperiodi::kKind, 1, std::string(1, kind));
  PutWord(r, hperiodi::kInterval, static_cast<int16_t>(n));
  PutWord(r, hperiodi::kExclusion, 0);
  for (int m = 0; m < 12; ++m) PutWord(r, hperiodi::kMonths + 2 * m, static_cast<int16_t>(months[m]));
  Insert(hperiodi::kHandle, r);
}

void Remittance(int number, int rate, int32_t fixed) {
  std::string r = BlankRecord(remeses::kLength);
  PutText(r, remeses::kCode, 2, EncodeRemittance(number));
  PutText(r, remeses::kLookForPending, 1, "S");
  PutText(r, remeses::kNeedsAccount, 1, "N");
  PutText(r, remeses::kTransferChannel, 2, "TR");
  PutWord(r, remeses::kFeeRate, static_cast<int16_t>(rate));
  PutDword(r, remeses::kFeeMinimum, 0);
  PutDword(r, remeses::kFeeMaximum, 1000);
  PutDword(r, remeses::kFeeFixed, fixed);
  Insert(remeses::kHandle, r);
}

void Standing(const std::string& k, int seq, const char* conceptCode, int32_t amount, int remaining,
              const char* periodicity) {
  std::string r = BlankRecord(hrebuts::kLength);
  PutText(r, hrebuts::kCode, 4, k);
  PutText(r, hrebuts::kSequence, 2, Packed(seq, 2));
  PutText(r, hrebuts::kConcept, 3, conceptCode);
  PutText(r, hrebuts::kClass, 1, "N");
  PutWord(r, hrebuts::kRemaining, static_cast<int16_t>(remaining));
  PutDword(r, hrebuts::kAmount, amount);
  PutText(r, hrebuts::kPeriodicity, 4, periodicity);
  Insert(hrebuts::kHandle, r);
}

void Generate(int coOwners) {
  AddConcept("ADM", 'D');
  AddConcept("ASC", 'F');
  AddConcept("AIG", 'R');
  AddConcept("SAL", 'S');
  AddConcept("DER", 'P');
  AddConcept("COB", 'N');
  Periodicity("01", 'N', 1);
  Periodicity("TRI", 'N', 3);
  Periodicity("BIM", 'R', 2);
  Periodicity("EXP", 'I', 0, {0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0});
  Remittance(100, 0, 30);
  Remittance(200, 100, 0);
  int buildings = (coOwners + kPerBuilding - 1) / kPerBuilding;
  int made = 0;
  for (int b = 1; b <= buildings; ++b) {
    int status = DbTransaction(hfinca::kHandle, 'B');
    std::string f = BlankRecord(hfinca::kLength);
    PutText(f, hfinca::kCode, 2, Packed(b, 2));
    PutText(f, hfinca::kBuildingName, 40, "FINCA*Carrer " + std::to_string(b));
    PutText(f, hfinca::kReceiptsFrom, 4, DateOf(0, 0, 0));
    PutByte(f, hfinca::kReferenceMonth, 1 + b % 12);
    PutByte(f, hfinca::kBalanceRule, 1 + b % 5);
    PutByte(f, hfinca::kBlocked, 0);
    Insert(hfinca::kHandle, f);
    for (int o = 1; o <= kPerBuilding && made < coOwners; ++o, ++made) {
      std::string k = Packed(b, 2) + Packed(o, 2);
      std::string p = BlankRecord(hprobase::kLength);
      PutText(p, hprobase::kCode, 4, k);
      PutWord(p, hprobase::kBlocked, 0);
      PutText(p, hprobase::kDepartment, 15, std::to_string(o) + "a");
      PutText(p, hprobase::kOwnerName, 40, "COGNOM" + std::to_string(made) + "*Nom");
      PutText(p, hprobase::kAddress, 40, "C. Major " + std::to_string(o));
      Insert(hprobase::kHandle, p);
      std::string bank = BlankRecord(hprobanc::kLength);
      PutText(bank, hprobanc::kCode, 4, k);
      PutText(bank, hprobanc::kRemittance, 2, EncodeRemittance(o % 2 ? 100 : 200));
      PutText(bank, hprobanc::kAccount, 34, "ES76210000000000" + std::to_string(10000000 + made));
      PutText(bank, hprobanc::kBic, 11, "CAIXESBBXXX");
      Insert(hprobanc::kHandle, bank);
      std::string econ = BlankRecord(hproecon::kLength);
      PutText(econ, hproecon::kCode, 4, k);
      PutDword(econ, hproecon::kBalance, (made % 7 - 3) * 1000);
      PutDword(econ, hproecon::kApplied, 0);
      Insert(hproecon::kHandle, econ);
      Standing(k, 1, "ADM", 4500 + o * 10, 0, "01");
      Standing(k, 2, "AIG", 1200, 24, "01");
      Standing(k, 3, "SAL", 800, 0, "01");
      Standing(k, 4, "DER", 300, 12, "01");
      Standing(k, 5, "ASC", 150, 0, "EXP");
      Standing(k, 6, "ADM", 333, 0, "BIM");
      Standing(k, 7, "AIG", 450, 0, "TRI");
      Standing(k, 8, "ADM", o == 5 ? -9000 : 99, 0, "01");
      std::string n = BlankRecord(hnotific::kLength);
      PutText(n, hnotific::kDate, 4, DateOf(2025, 3, 1));
      PutText(n, hnotific::kCode, 4, k);
      PutByte(n, hnotific::kZero, 0x80);
      PutText(n, hnotific::kConcept, 3, "DER");
      PutDword(n, hnotific::kAmount, 2500);
      PutText(n, hnotific::kClass, 1, "E");
      PutWord(n, hnotific::kRemaining, 3);
      PutText(n, hnotific::kDone, 1, "N");
      PutText(n, hnotific::kPeriodicity, 4, "01");
      Insert(hnotific::kHandle, n);
    }
    if (status == 0) DbTransaction(hfinca::kHandle, 'E');
  }
}

long PeakKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int RunOneSize(int coOwners, const std::string& only, const std::string& server) {
  const fs::path root = fs::temp_directory_path() / ("palvorin-bench-receipts-" + std::to_string(coOwners));
  fs::remove_all(root);
  fs::create_directories(root / "DADES");
  BenchServer onServer(server, (root / "DADES").string(), "bench_receipts");
  fs::create_directories(root / "tmp");
  fs::create_directories(root / "ddf");
  std::ifstream source(std::string(PALVORIN_SOURCE_DIR) + "/install/dict/files.txt");
  std::stringstream text;
  text << source.rdbuf();
  std::vector<DictFile> files;
  std::string error;
  if (!ParseDictionarySource(text.str(), files, error)) {
    std::fprintf(stderr, "bench_receipts: %s\n", error.c_str());
    return 1;
  }
  for (const DictFile& f : files) {
    std::ofstream(root / "ddf" / (f.base + ".xdf"), std::ios::binary) << DictionaryBytes(f);
  }
  Session& s = SessionState();
  s.rootDir = root.string() + "/";
  s.tempDir = root.string() + "/tmp/";
  s.destination = "FITXER";
  s.languageCode = "CAT";
  DataFiles().logPath = root.string() + "/db.log";
  DbEnvironment& env = DataFiles().env;
  env.showMessage = [](int, const std::string& t) { std::fprintf(stderr, "%s\n", t.c_str()); };
  env.closeMessage = [] {};
  env.waitKey = [] {};
  SetCurrency("a,E");
  OpenReceiptFiles();

  auto start = Clock::now();
  Generate(coOwners);
  double generated = Seconds(start);

  RunParams p;
  p.issueDate = DateOf(2025, 3, 15);
  p.issueNumber = Packed(25, 1) + Packed(3, 1);
  p.fromCoOwner = Packed(0, 4);
  p.toCoOwner = Packed(99999999, 4);
  p.fromRemittance = EncodeRemittance(0);
  p.toRemittance = EncodeRemittance(9999);
  p.buildingTotals = "F";
  p.summaryByConcept = true;
  SilentProgress silent;
  SyscallCounter calls;
  SyscallCounter fsyncs("syscalls/sys_enter_fsync"), fdatasyncs("syscalls/sys_enter_fdatasync");
  std::printf("%d co-owners in %d buildings, generated in %.2f s\n", coOwners,
              (coOwners + kPerBuilding - 1) / kPerBuilding, generated);
  std::printf("%-16s %9s %9s %13s %15s %7s %12s\n", "mode", "wall s", "cpu s", "cpu us/co-own",
              "syscalls/co-own", "syncs", "syncs/co-own");
  const char modes[4] = {'V', 'A', 'P', 'P'};
  const char* names[4] = {"verify", "advance listing", "preparing", "preparing again"};
  for (int i = 0; i < 4; ++i) {
    p.mode = modes[i];
    if (!only.empty() && only.find(modes[i]) == std::string::npos) continue;
    const int64_t syncs = fsyncs.Now() + fdatasyncs.Now();
    const int64_t made = calls.Now();
    start = Clock::now();
    std::clock_t cpuStart = std::clock();
    CycleResult r = RunAndPrint(p, silent, false);
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wall = Seconds(start);
    const int64_t callCount = calls.Since(made);
    const int64_t syncCount = fsyncs.Now() + fdatasyncs.Now() - syncs;
    if (!r.spool.ok() || !r.failures.empty() || r.coOwners != coOwners) {
      std::fprintf(stderr, "bench_receipts: run %c went wrong (%d co-owners)\n", modes[i], r.coOwners);
      return 1;
    }
    std::printf("%-16s %9.2f %9.2f %13.1f %15s %7s %12s\n", names[i], wall, cpu,
                cpu / coOwners * 1e6, PerOp(calls, callCount, coOwners).c_str(),
                fsyncs.available() ? std::to_string(syncCount).c_str() : "-",
                PerOp(fsyncs, syncCount, coOwners, 4).c_str());
  }
  // Wall time depends on what else the machine runs; processor time does not.
  std::printf("peak memory %.1f MiB\n", PeakKib() / 1024.0);
  std::fflush(stdout);
  CloseReceiptFiles();
  fs::remove_all(root);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int coOwners = 10000;
  std::string only;  // the modes to run (for profiling one): all when empty
  std::string server;
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    if (i + 1 < argc && option == "--co-owners") {
      coOwners = std::atoi(argv[i + 1]);
    } else if (i + 1 < argc && option == "--modes") {
      only = argv[i + 1];
    } else if (i + 1 < argc && option == "--server") {
      server = argv[i + 1];
    } else {
      std::fprintf(stderr,
                   "usage: bench_receipts [--co-owners N] [--modes VAP] [--server CONNINFO]\n");
      return 2;
    }
  }
  if (coOwners <= 0) {
    std::fprintf(stderr, "bench_receipts: the number of co-owners must be positive\n");
    return 2;
  }
  return RunOneSize(coOwners, only, server);
}
