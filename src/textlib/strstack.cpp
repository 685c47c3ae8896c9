#include "textlib/strstack.h"

#include <utility>

namespace palvorin {

StringStack& Strings() {
  static StringStack stack;
  return stack;
}

void ResetStringsForTest() { Strings() = StringStack{}; }

void PushStr(std::string_view text) { Strings().entries.emplace_back(text); }

std::string PopStr() {
  std::vector<std::string>& entries = Strings().entries;
  if (entries.empty()) return {};
  std::string text = std::move(entries.back());
  entries.pop_back();
  return text;
}

}  // namespace palvorin
