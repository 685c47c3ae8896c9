#include "demodata.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "datafile/datafile.h"
#include "os/codepage.h"
#include "os/files.h"
#include "os/paths.h"
#include "receipts/layouts.h"

namespace palvorin::mkdemo {
namespace {

using Cents = int32_t;

// ---- Packed forms ------------------------------------------------------------------------------

std::string Packed(long value, int width) {
  std::string bytes(static_cast<size_t>(width), '\x80');
  for (int i = width - 1; i >= 0; --i, value /= 100) {
    bytes[static_cast<size_t>(i)] = static_cast<char>(128 + value % 100);
  }
  return bytes;
}
std::string BuildingCode(int building) { return Packed(building, 2); }
std::string CoOwnerCode(int building, int owner) { return Packed(building, 2) + Packed(owner, 2); }

struct Day {
  int year, month, day;
};
std::string PackedDate(Day d) { return Packed(d.year, 2) + Packed(d.month, 1) + Packed(d.day, 1); }
std::string IssueNumber(int year, int month) { return Packed(year % 100, 1) + Packed(month, 1); }

// ---- Fixed tables ----------------------------------------------------------------------------

struct BankPlan {
  const char* entity;  // four digits
  const char* bic;
};
constexpr BankPlan kBanks[] = {
    {"2100", "CAIXESBBXXX"}, {"0182", "BBVAESMMXXX"}, {"0081", "BSABESBBXXX"},
    {"0049", "BSCHESMMXXX"}, {"1465", "INGDESMMXXX"}};

struct RemittancePlan {
  int number;
  const char* description;
  bool lookForPending;
  bool needsAccount;
  const char* channel;
  int rate;  // ten-thousandths
  Cents minimum, maximum, fixed;
};
// Remittance 300 is missing on purpose: one co-owner pays through it.
constexpr RemittancePlan kRemittances[] = {
    {0, "COBRAMENT A L'OFICINA", false, false, "OF", 0, 0, 0, 0},
    {100, "DOMICILIACIÓ CAIXABANK", false, true, "CX", 0, 0, 0, 0},
    {150, "DOMICILIACIÓ BBVA", true, true, "BV", 35, 30, 300, 0},
    {200, "TRANSFERÈNCIA BANCÀRIA", false, false, "TR", 0, 0, 0, 0},
    {400, "DOMICILIACIÓ SABADELL", false, true, "SB", 0, 0, 0, 25},
};
constexpr int kMissingRemittance = 300;

struct ConceptPlan {
  const char* code;
  const char* description;
  char type;
  const char* account;
};
constexpr ConceptPlan kConcepts[] = {
    {"QCO", "QUOTA COMUNITÀRIA", 'D', "700"},  {"HON", "HONORARIS ADMINIST.", 'D', "705"},
    {"VAR", "DESPESES VÀRIES", 'D', "759"},    {"FRE", "FONS DE RESERVA", 'R', "553"},
    {"SAL", "SALDO ANTERIOR", 'S', "431"},     {"AIG", "CONSUM D'AIGUA", 'P', "628"},
    {"CAL", "CALEFACCIÓ", 'P', "628"},         {"DER", "DERRAMA ASCENSOR", 'F', "700"},
    {"OBR", "OBRES FAÇANA", 'F', "700"},       {"ASS", "ASSEGURANÇA", 'N', "625"},
    {"COB", "DESPESES COBRAMENT", 'N', "626"}, {"MOR", "RECÀRREC MOROSITAT", 'M', "759"},
};

struct PeriodicityPlan {
  const char* code;
  char kind;
  int interval;
  int exclusion;
  std::array<int, 12> months;
};
constexpr PeriodicityPlan kPeriodicities[] = {
    {"01", 'N', 1, 0, {}},   // monthly
    {"02", 'N', 2, 0, {}},   // every two months from January
    {"03", 'N', 3, 0, {}},   // quarterly from January
    {"06", 'N', 6, 0, {}},   // half-yearly
    {"12", 'N', 12, 0, {}},  // yearly, in January
    {"TRX", 'N', 3, 6, {}},  // April and October only
    {"TRF", 'F', 3, 0, {}},  // quarterly from the building's own month
    {"HIV", 'I', 0, 0, {1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1}},  // heating season
    {"ESTI", 'I', 0, 0, {0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0}},  // summer
};

struct BuildingPlan {
  int code;
  const char* name;
  const char* street;
  const char* city;
  int owners;
  int balanceRule;
  int referenceMonth;
  Day receiptsFrom;
  int remittance;  // the one most co-owners pay through
  int bank;        // index in kBanks of most accounts
  Cents quota;     // monthly quota of an average flat
  int doorsPerFloor;
  const char* premisesOwner;  // the company that owns the ground-floor premises
  bool spanish;               // most owners have Spanish names
};
constexpr BuildingPlan kBuildings[] = {
    {1, "C.P. CARRER DE MALLORCA, 245", "C. de Mallorca, 245", "08008 BARCELONA", 12, 3, 1,
     {2009, 1, 1}, 100, 0, 6000, 2, "FARMÀCIA ROVIRA, S.L.", false},
    {2, "C.P. AVINGUDA DIAGONAL, 401", "Av. Diagonal, 401", "08008 BARCELONA", 14, 4, 1,
     {2012, 7, 1}, 150, 1, 7500, 3, "AUTOESCOLA DIAGONAL, S.A.", false},
    {3, "C.P. CALLE DE ALCALÁ, 150", "C. de Alcalá, 150", "28009 MADRID", 10, 2, 3,
     {2018, 3, 1}, 400, 2, 5200, 2, "CAFETERÍA EL ALCALÁ, S.L.", true},
    {4, "C.P. PASSEIG DE GRÀCIA, 77", "Pg. de Gràcia, 77", "08008 BARCELONA", 5, 5, 1,
     {2025, 4, 1}, 100, 3, 9800, 2, "GALERIA D'ART PALAU, S.L.", false},
};

constexpr const char* kCatalanSurnames[] = {
    "PUIG", "FERRER", "VILA", "SERRA", "SOLER", "FONT", "ROVIRA", "BOSCH", "PUJOL", "COLL",
    "MARTÍ", "VIDAL", "ROCA", "SALA", "PALAU", "TORRENT", "GIRONÈS", "BADIA", "RIBAS", "PRAT"};
constexpr const char* kCatalanGiven[] = {
    "Jordi", "Montserrat", "Núria", "Pere", "Joan", "Mercè", "Arnau", "Laia", "Marc", "Anna",
    "Josep Maria", "Roser", "Oriol", "Meritxell", "Jaume", "Teresa", "Xavier", "Glòria"};
constexpr const char* kSpanishSurnames[] = {
    "GARCÍA", "MARTÍNEZ", "LÓPEZ", "SÁNCHEZ", "PÉREZ", "GÓMEZ", "FERNÁNDEZ", "RUIZ", "DÍAZ",
    "MORENO", "MUÑOZ", "ÁLVAREZ", "ROMERO", "NAVARRO", "GUTIÉRREZ", "JIMÉNEZ", "ORTEGA"};
constexpr const char* kSpanishGiven[] = {
    "José Antonio", "Carmen", "Francisco", "María Dolores", "Manuel", "Pilar", "Antonio",
    "Isabel", "Javier", "Lucía", "Miguel Ángel", "Rosario", "Fernando", "Concepción"};
// Where co-owners who do not live in the building are written to.
constexpr const char* kElsewhere[][2] = {
    {"C. de Sants, 112, 3r 2a", "08014 BARCELONA"},
    {"Av. de Roma, 88, 2n 1a", "08015 BARCELONA"},
    {"Rambla de Ferran, 31, 1r", "25007 LLEIDA"},
    {"C. de Serrano, 64, 5º B", "28001 MADRID"},
    {"Pl. de la Vila, 4", "17300 BLANES"},
    {"Av. del Puerto, 210, 8ª", "46023 VALENCIA"},
};
constexpr const char* kFloors[] = {"1r", "2n", "3r", "4t", "5è", "6è", "7è"};
constexpr const char* kDoors[] = {"1a", "2a", "3a"};

// ---- Chance, the same on every run ------------------------------------------------------------

class Chance {
 public:
  explicit Chance(uint32_t seed) : engine_(seed) {}
  // A whole number from 0 to n - 1. The engine's sequence is fixed by the standard, so the
  // data is the same with every library.
  int Pick(int n) { return static_cast<int>(engine_() % static_cast<uint32_t>(n)); }

 private:
  std::mt19937 engine_;
};

// ---- Accounts --------------------------------------------------------------------------------

// The check digit of a Spanish domestic account for ten digits.
int CheckDigit(const std::string& ten) {
  static constexpr int kWeights[] = {1, 2, 4, 8, 5, 10, 9, 7, 3, 6};
  int sum = 0;
  for (int i = 0; i < 10; ++i) sum += (ten[static_cast<size_t>(i)] - '0') * kWeights[i];
  int d = 11 - sum % 11;
  return d == 11 ? 0 : d == 10 ? 1 : d;
}

// An IBAN of Spain for an entity, a branch and a ten-digit account number.
std::string Iban(const std::string& entity, const std::string& branch, const std::string& number) {
  const std::string dc = std::to_string(CheckDigit("00" + entity + branch)) +
                         std::to_string(CheckDigit(number));
  const std::string bban = entity + branch + dc + number;
  int rest = 0;
  for (char c : bban + "142800") rest = (rest * 10 + (c - '0')) % 97;  // E=14, S=28
  const int check = 98 - rest;
  return std::string("ES") + (check < 10 ? "0" : "") + std::to_string(check) + bban;
}

std::string Digits(Chance& chance, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += static_cast<char>('0' + chance.Pick(10));
  return s;
}

Cents RoundTo5(double cents) { return static_cast<Cents>(std::lround(cents / 5.0) * 5); }

// ---- Writing through the record-file layer ---------------------------------------------------

struct FileSlot {
  const char* name;  // as the module opens it, relative to the root
  int handle;
};
constexpr FileSlot kFiles[] = {
    {hfinca::kFile, hfinca::kHandle},       {hprobase::kFile, hprobase::kHandle},
    {hproecon::kFile, hproecon::kHandle},   {hprobanc::kFile, hprobanc::kHandle},
    {hrebuts::kFile, hrebuts::kHandle},     {hconcept::kFile, hconcept::kHandle},
    {hcaprebu::kFile, hcaprebu::kHandle},   {hlinrebu::kFile, hlinrebu::kHandle},
    {hnotific::kFile, hnotific::kHandle},   {htransfe::kFile, htransfe::kHandle},
    {hcobros::kFile, hcobros::kHandle},     {remeses::kFile, remeses::kHandle},
    {hperiodi::kFile, hperiodi::kHandle},
};

std::string BaseName(const char* file) {
  std::string s(file);
  return s.substr(s.find_last_of('\\') + 1);
}

class Writer {
 public:
  explicit Writer(RecordCounts& counts) : counts_(counts) {}
  ~Writer() { Close(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  bool Open(const std::string& root, std::string& message) {
    for (const FileSlot& f : kFiles) {
      int status = 0;
      DbOpen(f.handle, root + f.name, areas_[f.handle], status);
      if (status != 0) {
        message = "cannot open " + std::string(f.name) + " (" + std::to_string(status) + ")";
        return false;
      }
      opened_ = true;
      counts_[BaseName(f.name)] = 0;
    }
    return true;
  }

  // The first file that already holds a record; empty when none does.
  std::string FileWithRecords() {
    for (const FileSlot& f : kFiles) {
      if (DbGetStatus(f.handle, 0, "", 1) == 0) return BaseName(f.name);
    }
    return {};
  }

  // Deletes every record of every file.
  bool Empty(std::string& message) {
    for (const FileSlot& f : kFiles) {
      int status = 0;
      for (DbGet(f.handle, 0, "", 1, status); status == 0; DbGet(f.handle, 0, "", 1, status)) {
        DbDelete(f.handle, status);
        if (status != 0) {
          message = "cannot empty " + std::string(f.name) + " (" + std::to_string(status) + ")";
          return false;
        }
      }
    }
    return true;
  }

  void Insert(int handle, const std::string& record) {
    if (!failure_.empty()) return;
    areas_[handle] = record;
    int status = 0;
    DbInsert(handle, status);
    for (const FileSlot& f : kFiles) {
      if (f.handle != handle) continue;
      if (status == 0) {
        ++counts_[BaseName(f.name)];
      } else {
        failure_ = "cannot insert into " + std::string(f.name) + " (" + std::to_string(status) +
                   (status == 5 ? ", duplicate key" : "") + ")";
      }
    }
  }

  const std::string& failure() const { return failure_; }

  void Close() {
    if (!opened_) return;
    int status = 0;
    DbReset(status);
    opened_ = false;
  }

 private:
  RecordCounts& counts_;
  std::map<int, std::string> areas_;  // record areas by handle; they stay put while open
  bool opened_ = false;
  std::string failure_;
};

// ---- The data --------------------------------------------------------------------------------

// Special cases of single co-owners, by building and number.
struct OwnerCase {
  int building, owner;
};
constexpr OwnerCase kBlocked = {2, 7};
constexpr OwnerCase kAccountMissing = {1, 11};
constexpr OwnerCase kUnknownRemittance = {3, 9};
constexpr OwnerCase kAlreadyCollected = {2, 12};
constexpr OwnerCase kPendingEarlier = {2, 3};

bool Is(const OwnerCase& c, int building, int owner) {
  return c.building == building && c.owner == owner;
}

// Balances (positive: in the co-owner's favour) and the balance charge that carries them.
struct BalancePlan {
  int building, owner;
  Cents balance;
  Cents charge;  // amount of the standing balance charge
};
constexpr BalancePlan kBalances[] = {
    {1, 5, -24000, 6000},   // a debt paid off in monthly instalments
    {1, 9, -3550, 6000},    // the last instalment is only what is left of the debt
    {1, 2, 5000, 0},        // a credit that this building does not carry
    {2, 4, 50000, 0},       // a credit larger than the receipt: the receipt comes to nil
    {2, 6, 2500, 0},        // a credit returned whole
    {2, 10, -8000, 8000},   // a debt charged at once
    {3, 6, 30000, -30000},  // a refund larger than the receipt: a negative receipt
    {4, 2, 1500, 0},
};

struct OneOffPlan {
  int building, owner;
  Day date;
  const char* conceptCode;
  Cents amount;
  int remaining;
  const char* periodicity;
  const char* chargeClass;
};
constexpr OneOffPlan kOneOffs[] = {
    {1, 3, {2025, 2, 10}, "OBR", 35000, 1, "01", "E"},   // facade works, this issue
    {1, 8, {2025, 2, 28}, "MOR", 1500, 1, "01", "O"},    // late-payment charge, other type
    {1, 6, {2025, 2, 15}, "VAR", -2000, 1, "01", "O"},   // a credit note
    {2, 5, {2025, 3, 20}, "VAR", 4235, 1, "01", "O"},    // due after the issue date
    {2, 9, {2025, 3, 1}, "DER", 3000, 4, "01", "E"},     // becomes a standing charge of 4
    {3, 2, {2025, 1, 15}, "AIG", 1820, 1, "03", "O"},    // waits for April
    {3, 4, {2024, 12, 5}, "VAR", 1280, 1, "01", "O"},    // an old one still due
};

class DemoData {
 public:
  explicit DemoData(Writer& out) : out_(out), chance_(20250301u) {}

  void Write() {
    for (const ConceptPlan& c : kConcepts) Concept(c);
    for (const PeriodicityPlan& p : kPeriodicities) Periodicity(p);
    for (const RemittancePlan& r : kRemittances) Remittance(r);
    for (const BuildingPlan& b : kBuildings) Building(b);
    for (const OneOffPlan& o : kOneOffs) OneOff(o);
  }

 private:
  void Concept(const ConceptPlan& c) {
    std::string r = BlankRecord(hconcept::kLength);
    PutText(r, hconcept::kCode, 3, c.code);
    PutText(r, hconcept::kDescription, hconcept::kDescriptionWidth, cp850(c.description));
    PutText(r, hconcept::kType, 1, std::string(1, c.type));
    PutText(r, hconcept::kFurtherCode, 3, c.account);
    out_.Insert(hconcept::kHandle, r);
  }

  void Periodicity(const PeriodicityPlan& p) {
    std::string r = BlankRecord(hperiodi::kLength);
    PutText(r, hperiodi::kCode, 4, p.code);
    PutText(r, hperiodi::kKind, 1, std::string(1, p.kind));
    PutWord(r, hperiodi::kInterval, static_cast<int16_t>(p.interval));
    PutWord(r, hperiodi::kExclusion, static_cast<int16_t>(p.exclusion));
    for (int m = 0; m < 12; ++m) {
      PutWord(r, hperiodi::kMonths + 2 * m, static_cast<int16_t>(p.months[static_cast<size_t>(m)]));
    }
    out_.Insert(hperiodi::kHandle, r);
  }

  void Remittance(const RemittancePlan& p) {
    std::string r = BlankRecord(remeses::kLength);
    PutText(r, remeses::kCode, 2, EncodeRemittance(p.number));
    PutText(r, remeses::kDescription, remeses::kDescriptionWidth, cp850(p.description));
    PutText(r, remeses::kLookForPending, 1, p.lookForPending ? "S" : "N");
    PutText(r, remeses::kNeedsAccount, 1, p.needsAccount ? "S" : "N");
    PutText(r, remeses::kTransferChannel, 2, p.channel);
    PutWord(r, remeses::kFeeRate, static_cast<int16_t>(p.rate));
    PutDword(r, remeses::kFeeMinimum, p.minimum);
    PutDword(r, remeses::kFeeMaximum, p.maximum);
    PutDword(r, remeses::kFeeFixed, p.fixed);
    out_.Insert(remeses::kHandle, r);
  }

  void Building(const BuildingPlan& b) {
    std::string r = BlankRecord(hfinca::kLength);
    PutText(r, hfinca::kCode, 2, BuildingCode(b.code));
    PutText(r, hfinca::kBuildingName, hfinca::kNameWidth, cp850(b.name));
    PutText(r, hfinca::kReceiptsFrom, 4, PackedDate(b.receiptsFrom));
    PutByte(r, hfinca::kReferenceMonth, b.referenceMonth);
    PutByte(r, hfinca::kBalanceRule, b.balanceRule);
    PutByte(r, hfinca::kBlocked, 0);
    out_.Insert(hfinca::kHandle, r);
    for (int owner = 1; owner <= b.owners; ++owner) CoOwner(b, owner);
  }

  std::string Department(const BuildingPlan& b, int owner) const {
    if (owner == 1) return "LOCAL 1";
    if (owner == b.owners && b.owners > 6) return cp850("ÀTIC");
    const int flat = owner - 2;
    return cp850(kFloors[flat / b.doorsPerFloor]) + " " + kDoors[flat % b.doorsPerFloor];
  }

  // "SURNAME SURNAME*Given" in the Spanish way, "SURNAME I SURNAME*Given" in the Catalan.
  std::string PersonName(bool spanish) {
    const auto pick = [this](const auto& list) {
      return std::string(list[static_cast<size_t>(chance_.Pick(static_cast<int>(std::size(list))))]);
    };
    const std::string first = spanish ? pick(kSpanishSurnames) : pick(kCatalanSurnames);
    std::string second = first;
    while (second == first) second = spanish ? pick(kSpanishSurnames) : pick(kCatalanSurnames);
    const std::string given = spanish ? pick(kSpanishGiven) : pick(kCatalanGiven);
    return cp850(first + (spanish ? " " : " I ") + second + "*" + given);
  }

  int RemittanceOf(const BuildingPlan& b, int owner) const {
    if (Is(kUnknownRemittance, b.code, owner)) return kMissingRemittance;
    if (b.code == 1 && (owner == 4 || owner == 10)) return 0;    // pay at the office
    if (b.code == 3 && (owner == 5 || owner == 8)) return 200;  // pay by transfer
    return b.remittance;
  }

  static bool NeedsAccount(int remittance) {
    for (const RemittancePlan& r : kRemittances) {
      if (r.number == remittance) return r.needsAccount;
    }
    return true;
  }

  void CoOwner(const BuildingPlan& b, int owner) {
    const std::string code = CoOwnerCode(b.code, owner);
    const std::string department = Department(b, owner);
    // One spoken language in four or five is the other one.
    const bool spanish = chance_.Pick(b.spanish ? 5 : 4) == 0 ? !b.spanish : b.spanish;
    const std::string name = owner == 1 ? cp850(b.premisesOwner) : PersonName(spanish);
    const bool elsewhere = owner != 1 && chance_.Pick(5) == 0;
    const auto& away = kElsewhere[chance_.Pick(static_cast<int>(std::size(kElsewhere)))];

    std::string base = BlankRecord(hprobase::kLength);
    PutText(base, hprobase::kCode, 4, code);
    PutWord(base, hprobase::kBlocked, static_cast<int16_t>(Is(kBlocked, b.code, owner) ? 1 : 0));
    PutText(base, hprobase::kDepartment, hprobase::kDepartmentWidth, department);
    PutText(base, hprobase::kOwnerName, hprobase::kTextWidth, name);
    PutText(base, hprobase::kAddress, hprobase::kTextWidth,
            elsewhere ? cp850(away[0]) : cp850(b.street) + ", " + department);
    if (owner % 7 == 3) {
      PutText(base, hprobase::kAltAddress, hprobase::kTextWidth,
              "Apartat de correus " + std::to_string(1000 + chance_.Pick(9000)));
    }
    out_.Insert(hprobase::kHandle, base);

    const int remittance = RemittanceOf(b, owner);
    std::string bank = BlankRecord(hprobanc::kLength);
    PutText(bank, hprobanc::kCode, 4, code);
    PutText(bank, hprobanc::kRemittance, 2, EncodeRemittance(remittance));
    if (NeedsAccount(remittance) && !Is(kAccountMissing, b.code, owner)) {
      const BankPlan& entity = kBanks[chance_.Pick(4) == 0 ? 4 : b.bank];
      PutText(bank, hprobanc::kAccount, hprobanc::kAccountWidth,
              Iban(entity.entity, Digits(chance_, 4), Digits(chance_, 10)));
      PutText(bank, hprobanc::kBic, hprobanc::kBicWidth, entity.bic);
    }
    if (elsewhere) {
      PutText(bank, hprobanc::kAddress1, hprobanc::kAddressWidth, cp850(away[0]));
      PutText(bank, hprobanc::kAddress2, hprobanc::kAddressWidth, cp850(away[1]));
    }
    out_.Insert(hprobanc::kHandle, bank);

    Cents balance = 0;
    const BalancePlan* balancePlan = nullptr;
    for (const BalancePlan& p : kBalances) {
      if (p.building == b.code && p.owner == owner) balancePlan = &p;
    }
    if (balancePlan) balance = balancePlan->balance;
    std::string econ = BlankRecord(hproecon::kLength);
    PutText(econ, hproecon::kCode, 4, code);
    PutDword(econ, hproecon::kBalance, balance);
    PutDword(econ, hproecon::kApplied, 0);
    out_.Insert(hproecon::kHandle, econ);

    Charges(b, owner, balancePlan);
    Collections(b, owner);
  }

  // The co-owner's standing charges, numbered from 1.
  void Charges(const BuildingPlan& b, int owner, const BalancePlan* balance) {
    const double share = owner == 1                                  ? 1.6
                         : (owner == b.owners && b.owners > 6)       ? 1.2
                                                                     : 0.8 + 0.1 * chance_.Pick(5);
    const Cents quota = RoundTo5(b.quota * share);
    int sequence = 0;
    auto add = [&](const char* conceptCode, Cents amount, const char* periodicity,
                   int remaining = 0, const char* chargeClass = "O") {
      std::string r = BlankRecord(hrebuts::kLength);
      PutText(r, hrebuts::kCode, 4, CoOwnerCode(b.code, owner));
      PutText(r, hrebuts::kSequence, 2, Packed(++sequence, 2));
      PutText(r, hrebuts::kConcept, 3, conceptCode);
      PutText(r, hrebuts::kClass, 1, chargeClass);
      PutWord(r, hrebuts::kRemaining, static_cast<int16_t>(remaining));
      PutDword(r, hrebuts::kAmount, amount);
      PutText(r, hrebuts::kPeriodicity, 4, periodicity);
      out_.Insert(hrebuts::kHandle, r);
    };
    add("QCO", quota, "01");
    add("FRE", static_cast<Cents>(std::lround(quota * 0.1)), "01");
    switch (b.code) {
      case 1:
        add("ASS", RoundTo5(8500 * share), "12");
        add("DER", 2500, "01", owner == 3 ? 1 : owner == 12 ? 2 : 6, "E");
        break;
      case 2:
        add("AIG", 1500 + chance_.Pick(1000), "02");
        add("CAL", RoundTo5(3800 * share), "HIV");
        add("HON", 1200, "TRX");
        break;
      case 3:
        add("CAL", RoundTo5(4500 * share), "TRF");
        add("ASS", RoundTo5(4200 * share), "06");
        add("VAR", 2000, "ESTI");
        break;
      default:
        break;
    }
    if (balance) add("SAL", balance->charge, "01");
  }

  // Receipts already handed to collection in January and February.
  void Collections(const BuildingPlan& b, int owner) {
    auto add = [&](int month, Day date, const char* state) {
      std::string r = BlankRecord(hcobros::kLength);
      PutText(r, hcobros::kCode, 4, CoOwnerCode(b.code, owner));
      PutText(r, hcobros::kIssue, 2, IssueNumber(2025, month));
      PutText(r, hcobros::kDate, 4, PackedDate(date));
      PutDword(r, hcobros::kAmount, RoundTo5(b.quota * 1.1));
      PutText(r, hcobros::kState, 1, state);
      out_.Insert(hcobros::kHandle, r);
    };
    if (b.code == 1) add(2, {2025, 2, 5}, "C");
    if (b.code == 2) {
      add(1, {2025, 1, 5}, "C");
      add(2, {2025, 2, 5}, Is(kPendingEarlier, b.code, owner) ? "P" : "C");
      if (Is(kAlreadyCollected, b.code, owner)) add(3, {2025, 3, 1}, "P");
    }
  }

  void OneOff(const OneOffPlan& o) {
    std::string r = BlankRecord(hnotific::kLength);
    PutText(r, hnotific::kDate, 4, PackedDate(o.date));
    PutText(r, hnotific::kCode, 4, CoOwnerCode(o.building, o.owner));
    PutByte(r, hnotific::kZero, 0x80);
    PutText(r, hnotific::kConcept, 3, o.conceptCode);
    PutDword(r, hnotific::kAmount, o.amount);
    PutText(r, hnotific::kClass, 1, o.chargeClass);
    PutWord(r, hnotific::kRemaining, static_cast<int16_t>(o.remaining));
    PutText(r, hnotific::kDone, 1, "N");
    PutText(r, hnotific::kPeriodicity, 4, o.periodicity);
    out_.Insert(hnotific::kHandle, r);
  }

  Writer& out_;
  Chance chance_;
};

// ---- Configuration and session files ---------------------------------------------------------

std::string IniText(const char* utf8) {
  std::string text = cp850(utf8);
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool WriteConfiguration(const DemoOptions& o, std::string& message) {
  std::string tmpDir = OsPath(o.tmp);
  if (!tmpDir.empty() && tmpDir[0] != '/') tmpDir = CurrentDir() + "/" + tmpDir;
  if (tmpDir.empty() || tmpDir.back() != '/') tmpDir += '/';
  const std::pair<std::string, std::string> files[] = {
      {o.root + "DADES\\HParam.tab", DefaultParamBlock()},
      {o.root + "Kora.ini",
       IniText("; Instal·lació de demostració\n"
               "[Usuari]\n"
               "Idioma=CAT\n"
               "DecCaracter=,\n"
               "MilCaracter=.\n"
               "DatCaracter=/\n"
               "DatOrdre=DMA\n"
               "[Empresa]\n"
               "Nom=FINQUES DEMO BARCELONA, S.L.\n")},
      {o.tmp + "KoraTerm.ini",
       IniText("[Pantalla]\n"
               "Seleccio=1\n"
               "Col0=15000700000700070007\n"
               "Col1=15010701010701030003\n"
               "[Sistema]\n") +
           "Data=" + kDemoWorkDate + "\r\n" + IniText("Sortida=PANTALLA\nIdioma=CAT\n")},
      {o.tmp + "Sessio.ini",
       IniText("[Menu]\n"
               "Titol=PREPARACIÓ DE REBUTS D'HORITZONTAL\n"
               "NomMenu=PALVORIN\n"
               "[Terminal]\n") +
           "Dir=" + tmpDir + "\r\n"},
  };
  for (const auto& [path, bytes] : files) {
    OsStatus st = WriteWholeFile(path, bytes);
    if (!st.ok()) {
      message = "cannot write " + OsPath(path) + ": " + st.message;
      return false;
    }
  }
  return true;
}

}  // namespace

bool MakeDemo(const DemoOptions& options, RecordCounts& counts, std::string& message) {
  counts.clear();
  const std::string ddf = options.root + "ddf\\";
  if (!FileExists(ddf + "HFinca.xdf")) {
    message = "no record dictionaries in " + OsPath(ddf);
    return false;
  }
  if (!DirExists(options.tmp)) {
    message = "no temporary folder " + OsPath(options.tmp);
    return false;
  }
  OsStatus st = CreateDir(options.root + "DADES");
  if (!st.ok()) {
    message = "cannot create " + OsPath(options.root + "DADES") + ": " + st.message;
    return false;
  }
  DataFiles().dictionaryFolder = ddf;

  Writer out(counts);
  if (!out.Open(options.root, message)) return false;
  const std::string holding = out.FileWithRecords();
  if (!holding.empty() && !options.replace) {
    message = OsPath(options.root + "DADES") + " already holds data (" + holding +
              "); nothing was changed";
    return false;
  }
  if (DbTransaction(hfinca::kHandle, 'B') != 0) {
    message = "cannot begin a transaction";
    return false;
  }
  if (!holding.empty() && !out.Empty(message)) {
    (void)DbTransaction(hfinca::kHandle, 'A');
    return false;
  }
  DemoData(out).Write();
  if (!out.failure().empty()) {
    (void)DbTransaction(hfinca::kHandle, 'A');
    message = out.failure() + "; nothing was kept";
    return false;
  }
  if (int status = DbTransaction(hfinca::kHandle, 'E'); status != 0) {
    message = "cannot end the transaction (" + std::to_string(status) + "); nothing was kept";
    return false;
  }
  out.Close();
  return WriteConfiguration(options, message);
}

}  // namespace palvorin::mkdemo
