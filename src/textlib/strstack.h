// The global string stack: one stack of texts shared by every caller (the data-file layer
// keeps record positions on it, the browse list and the forms their own texts). Callers use it
// in balanced pairs: every PushStr has exactly one PopStr, in reverse order.
#ifndef PALVORIN_TEXTLIB_STRSTACK_H_
#define PALVORIN_TEXTLIB_STRSTACK_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace palvorin {

struct StringStack {
  std::vector<std::string> entries;  // newest last
};
StringStack& Strings();      // the run's only instance
void ResetStringsForTest();  // Strings() = StringStack{}

// Puts a text, of any length and with any bytes, on top of the stack.
void PushStr(std::string_view text);
// Takes the newest text off the stack; the empty text when the stack is empty.
std::string PopStr();

}  // namespace palvorin

#endif  // PALVORIN_TEXTLIB_STRSTACK_H_
