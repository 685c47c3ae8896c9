// Field access, remittance codes, the parameter block and the field tables of the data files.
#include "receipts/layouts.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace palvorin {
namespace {

constexpr std::string_view kRemittanceLetters = " ABF";

// One packed byte for a value 0 to 99.
char PackedPair(int value) { return static_cast<char>(128 + value % 100); }

// The two digits a packed byte stands for: the last two digits of its low seven bits.
std::string UnpackedPair(unsigned char b) {
  int value = (b & 127) % 100;
  return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
}

int DigitValue(char c) { return c >= '0' && c <= '9' ? c - '0' : 0; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

// ---- Field access ------------------------------------------------------------------------------

int GetByte(std::string_view rec, int at) { return static_cast<unsigned char>(rec[at]); }

void PutByte(std::string& rec, int at, int value) { rec[at] = static_cast<char>(value & 0xFF); }

int16_t GetWord(std::string_view rec, int at) {
  return static_cast<int16_t>(GetByte(rec, at) | GetByte(rec, at + 1) << 8);
}

void PutWord(std::string& rec, int at, int16_t value) {
  auto u = static_cast<uint16_t>(value);
  PutByte(rec, at, u & 0xFF);
  PutByte(rec, at + 1, u >> 8);
}

int32_t GetDword(std::string_view rec, int at) {
  uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = u << 8 | static_cast<uint32_t>(GetByte(rec, at + i));
  return static_cast<int32_t>(u);
}

void PutDword(std::string& rec, int at, int32_t value) {
  auto u = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) PutByte(rec, at + i, (u >> (8 * i)) & 0xFF);
}

std::string GetText(std::string_view rec, int at, int width) {
  return std::string(rec.substr(at, width));
}

void PutText(std::string& rec, int at, int width, std::string_view value) {
  const size_t n = std::min<size_t>(value.size(), width);
  if (at >= 0 && width >= 0 && static_cast<size_t>(at) + width <= rec.size()) {
    // A field inside the record, the usual case, is written in place.
    if (n > 0) std::memmove(rec.data() + at, value.data(), n);
    std::memset(rec.data() + at + n, ' ', width - n);
    return;
  }
  std::string field(value.substr(0, n));
  field.resize(width, ' ');
  rec.replace(at, width, field);
}

std::string BlankRecord(int length) { return std::string(length, ' '); }

// ---- Remittance codes --------------------------------------------------------------------------

std::string EncodeRemittance(int number) {
  number = std::clamp(number, 0, 9999);
  if (number < 400) return {kRemittanceLetters[number / 100], PackedPair(number % 100)};
  return {PackedPair(number / 100), PackedPair(number % 100)};
}

std::string RemittanceDisplay(std::string_view code) {
  if (code.size() < 2) return "0000";
  char first = static_cast<char>(std::toupper(static_cast<unsigned char>(code[0])));
  size_t hundreds = kRemittanceLetters.find(first);
  if (hundreds != std::string_view::npos) {
    return "0" + std::to_string(hundreds) + UnpackedPair(static_cast<unsigned char>(code[1]));
  }
  return UnpackedPair(static_cast<unsigned char>(code[0])) +
         UnpackedPair(static_cast<unsigned char>(code[1]));
}

std::string RemittanceCode(std::string_view digits) {
  int number = 0;
  for (char c : digits.substr(digits.size() > 4 ? digits.size() - 4 : 0)) {
    number = number * 10 + DigitValue(c);
  }
  return EncodeRemittance(number);
}

// ---- Parameter block ---------------------------------------------------------------------------

std::string DefaultParamBlock() {
  struct Default {
    int at;
    int width;
    const char* text;
  };
  static constexpr Default kDefaults[] = {
      {0, 1, "N"},   {1, 3, "VAR"},  {4, 3, "COB"},  {7, 1, "N"},    {8, 3, "HON"},
      {11, 3, "SUP"}, {14, 3, "RHO"}, {17, 3, "SFP"}, {20, 3, "SFC"}, {23, 9, "551"},
      {32, 9, "553"}, {41, 9, "705"}, {50, 9, "705"}, {59, 9, "754"}, {68, 9, "759"},
      {77, 9, "473"}, {86, 9, "431"}, {95, 1, "S"},   {96, 1, "S"}};
  std::string block = BlankRecord(hparam::kLength);
  for (const Default& d : kDefaults) PutText(block, d.at, d.width, d.text);
  return block;
}

std::string ParamBlockFrom(std::string_view fileBytes) {
  std::string block = DefaultParamBlock();
  std::string_view kept = fileBytes.substr(0, std::min<size_t>(fileBytes.size(), hparam::kLength));
  block.replace(0, kept.size(), kept);
  return block;
}

// ---- Field tables ------------------------------------------------------------------------------

namespace {

using T = FieldType;

constexpr FieldInfo kFinca[] = {
    {"code", hfinca::kCode, 2, T::Code},
    {"name", hfinca::kBuildingName, hfinca::kNameWidth, T::Text},
    {"receipts_from", hfinca::kReceiptsFrom, 4, T::Date},
    {"reference_month", hfinca::kReferenceMonth, 1, T::Byte},
    {"balance_rule", hfinca::kBalanceRule, 1, T::Byte},
    {"blocked", hfinca::kBlocked, 1, T::Byte},
};
constexpr FieldInfo kProBase[] = {
    {"code", hprobase::kCode, 4, T::Code},
    {"blocked", hprobase::kBlocked, 2, T::Word},
    {"department", hprobase::kDepartment, hprobase::kDepartmentWidth, T::Text},
    {"name", hprobase::kOwnerName, hprobase::kTextWidth, T::Text},
    {"address", hprobase::kAddress, hprobase::kTextWidth, T::Text},
    {"alt_address", hprobase::kAltAddress, hprobase::kTextWidth, T::Text},
};
constexpr FieldInfo kProEcon[] = {
    {"code", hproecon::kCode, 4, T::Code},
    {"balance", hproecon::kBalance, 4, T::Amount},
    {"applied", hproecon::kApplied, 4, T::Amount},
};
constexpr FieldInfo kProBanc[] = {
    {"code", hprobanc::kCode, 4, T::Code},
    {"remittance", hprobanc::kRemittance, 2, T::Remittance},
    {"account", hprobanc::kAccount, hprobanc::kAccountWidth, T::Text},
    {"bic", hprobanc::kBic, hprobanc::kBicWidth, T::Text},
    {"address1", hprobanc::kAddress1, hprobanc::kAddressWidth, T::Text},
    {"address2", hprobanc::kAddress2, hprobanc::kAddressWidth, T::Text},
};
constexpr FieldInfo kRebuts[] = {
    {"code", hrebuts::kCode, 4, T::Code},
    {"sequence", hrebuts::kSequence, 2, T::Digits},
    {"concept", hrebuts::kConcept, 3, T::Text},
    {"class", hrebuts::kClass, 1, T::Text},
    {"remaining", hrebuts::kRemaining, 2, T::Word},
    {"amount", hrebuts::kAmount, 4, T::Amount},
    {"periodicity", hrebuts::kPeriodicity, 4, T::Text},
};
constexpr FieldInfo kConcept[] = {
    {"code", hconcept::kCode, 3, T::Text},
    {"description", hconcept::kDescription, hconcept::kDescriptionWidth, T::Text},
    {"type", hconcept::kType, 1, T::Text},
    {"further_code", hconcept::kFurtherCode, 3, T::Text},
};
constexpr FieldInfo kCapRebu[] = {
    {"code", hcaprebu::kCode, 4, T::Code},
    {"issue", hcaprebu::kIssue, 2, T::Digits},
    {"issue_date", hcaprebu::kIssueDate, 4, T::Date},
    {"total", hcaprebu::kTotal, 4, T::Amount},
    {"remittance", hcaprebu::kRemittance, 2, T::Remittance},
    {"first_receipt", hcaprebu::kFirstReceipt, 1, T::Text},
    {"pending_earlier", hcaprebu::kPendingEarlier, 1, T::Text},
    {"account", hcaprebu::kAccount, 34, T::Text},
    {"bic", hcaprebu::kBic, 11, T::Text},
};
constexpr FieldInfo kLinRebu[] = {
    {"code", hlinrebu::kCode, 4, T::Code},
    {"issue", hlinrebu::kIssue, 2, T::Digits},
    {"sequence", hlinrebu::kSequence, 2, T::Digits},
    {"concept", hlinrebu::kConcept, 3, T::Text},
    {"class", hlinrebu::kClass, 1, T::Text},
    {"remaining", hlinrebu::kRemaining, 2, T::Word},
    {"amount", hlinrebu::kAmount, 4, T::Amount},
    {"issue_date", hlinrebu::kIssueDate, 4, T::Date},
    {"periodicity", hlinrebu::kPeriodicity, 4, T::Text},
};
constexpr FieldInfo kResRebu[] = {
    {"group", hresrebu::kGroup, 2, T::Code},
    {"concept", hresrebu::kConcept, 3, T::Text},
    {"amount", hresrebu::kAmount, 4, T::Amount},
};
constexpr FieldInfo kNotific[] = {
    {"date", hnotific::kDate, 4, T::Date},
    {"blank", hnotific::kBlank, 8, T::Text},
    {"code", hnotific::kCode, 4, T::Code},
    {"zero", hnotific::kZero, 1, T::Digits},
    {"concept", hnotific::kConcept, 3, T::Text},
    {"amount", hnotific::kAmount, 4, T::Amount},
    {"class", hnotific::kClass, 1, T::Text},
    {"remaining", hnotific::kRemaining, 2, T::Word},
    {"done", hnotific::kDone, 1, T::Text},
    {"periodicity", hnotific::kPeriodicity, 4, T::Text},
};
constexpr FieldInfo kTransfe[] = {
    {"channel", htransfe::kChannel, 2, T::Text},
    {"type", htransfe::kType, 1, T::Text},
    {"code", htransfe::kCode, 4, T::Code},
    {"issue", htransfe::kIssue, 2, T::Digits},
    {"name", htransfe::kOwnerName, 40, T::Text},
    {"issue_date", htransfe::kIssueDate, 4, T::Date},
    {"amount", htransfe::kAmount, 4, T::Amount},
    {"free_text", htransfe::kFreeText, htransfe::kFreeTextWidth, T::Text},
    {"account", htransfe::kAccount, 34, T::Text},
    {"bic", htransfe::kBic, 11, T::Text},
    {"zeros", htransfe::kZeros, 6, T::Digits},
};
constexpr FieldInfo kCobros[] = {
    {"code", hcobros::kCode, 4, T::Code},
    {"issue", hcobros::kIssue, 2, T::Digits},
    {"date", hcobros::kDate, 4, T::Date},
    {"amount", hcobros::kAmount, 4, T::Amount},
    {"state", hcobros::kState, 1, T::Text},
};
constexpr FieldInfo kRemeses[] = {
    {"code", remeses::kCode, 2, T::Remittance},
    {"description", remeses::kDescription, remeses::kDescriptionWidth, T::Text},
    {"look_for_pending", remeses::kLookForPending, 1, T::Text},
    {"needs_account", remeses::kNeedsAccount, 1, T::Text},
    {"transfer_channel", remeses::kTransferChannel, 2, T::Text},
    {"fee_rate", remeses::kFeeRate, 2, T::Word},
    {"fee_minimum", remeses::kFeeMinimum, 4, T::Amount},
    {"fee_maximum", remeses::kFeeMaximum, 4, T::Amount},
    {"fee_fixed", remeses::kFeeFixed, 4, T::Amount},
};
constexpr FieldInfo kPeriodi[] = {
    {"code", hperiodi::kCode, 4, T::Text},
    {"kind", hperiodi::kKind, 1, T::Text},
    {"interval", hperiodi::kInterval, 2, T::Word},
    {"exclusion", hperiodi::kExclusion, 2, T::Word},
    {"jan", hperiodi::kMonths + 0, 2, T::Word},
    {"feb", hperiodi::kMonths + 2, 2, T::Word},
    {"mar", hperiodi::kMonths + 4, 2, T::Word},
    {"apr", hperiodi::kMonths + 6, 2, T::Word},
    {"may", hperiodi::kMonths + 8, 2, T::Word},
    {"jun", hperiodi::kMonths + 10, 2, T::Word},
    {"jul", hperiodi::kMonths + 12, 2, T::Word},
    {"aug", hperiodi::kMonths + 14, 2, T::Word},
    {"sep", hperiodi::kMonths + 16, 2, T::Word},
    {"oct", hperiodi::kMonths + 18, 2, T::Word},
    {"nov", hperiodi::kMonths + 20, 2, T::Word},
    {"dec", hperiodi::kMonths + 22, 2, T::Word},
};

const FileLayout kLayouts[] = {
    {hfinca::kFile, hfinca::kHandle, hfinca::kLength, kFinca},
    {hprobase::kFile, hprobase::kHandle, hprobase::kLength, kProBase},
    {hproecon::kFile, hproecon::kHandle, hproecon::kLength, kProEcon},
    {hprobanc::kFile, hprobanc::kHandle, hprobanc::kLength, kProBanc},
    {hrebuts::kFile, hrebuts::kHandle, hrebuts::kLength, kRebuts},
    {hconcept::kFile, hconcept::kHandle, hconcept::kLength, kConcept},
    {hcaprebu::kFile, hcaprebu::kHandle, hcaprebu::kLength, kCapRebu},
    {hlinrebu::kFile, hlinrebu::kHandle, hlinrebu::kLength, kLinRebu},
    {hresrebu::kFile, hresrebu::kHandle, hresrebu::kLength, kResRebu},
    {hnotific::kFile, hnotific::kHandle, hnotific::kLength, kNotific},
    {htransfe::kFile, htransfe::kHandle, htransfe::kLength, kTransfe},
    {hcobros::kFile, hcobros::kHandle, hcobros::kLength, kCobros},
    {remeses::kFile, remeses::kHandle, remeses::kLength, kRemeses},
    {hperiodi::kFile, hperiodi::kHandle, hperiodi::kLength, kPeriodi},
};

// The base name of a path: after the last separator, before the first dot that follows it.
std::string_view BaseName(std::string_view path) {
  size_t sep = path.find_last_of(":\\/");
  std::string_view base = sep == std::string_view::npos ? path : path.substr(sep + 1);
  return base.substr(0, base.find('.'));
}

}  // namespace

std::span<const FileLayout> FileLayouts() { return kLayouts; }

const FileLayout* FindLayout(std::string_view path) {
  std::string wanted = Lower(BaseName(path));
  for (const FileLayout& layout : kLayouts) {
    if (Lower(BaseName(layout.name)) == wanted) return &layout;
  }
  return nullptr;
}

}  // namespace palvorin
