#include "receipts/progress.h"

#include "console/console.h"
#include "screen/keyboard.h"
#include "screen/windows.h"

namespace palvorin {

void ScreenProgress::Open() {
  SetColour("+rn");
  WinPush(23, 1, 25, 79);
  DrawWindowFrame(1);
  LocateInWindow(0, 1);
  ConPrint(Tr(" PROCESSANT "));
  SetColour("-");
  ConFlush();
  open_ = true;
}

void ScreenProgress::Show(const std::string& coOwner) {
  if (!open_) return;
  LocateInWindow(1, 2);
  ConPrint(coOwner);
  ConFlush();
}

void ScreenProgress::Close() {
  if (!open_) return;
  WinPop();
  ConFlush();
  open_ = false;
}

namespace {

void MessageAndKey(const std::string& text) {
  SetColour("+r");
  ShowMessageBox(12, text);
  SetColour("-");
  int key = 0;
  GetKey(key);
  WinPop();
}

}  // namespace

void ShowCycleMessages(const CycleResult& result) {
  if (!result.spool.ok()) MessageAndKey(result.spool.message);
  if (!result.failures.empty()) {
    std::string text = Tr("NO S'HAN PODUT DESAR ELS REBUTS DE ") + result.failures.front();
    if (result.failures.size() > 1) {
      text += " (+" + std::to_string(result.failures.size() - 1) + ")";
    }
    MessageAndKey(text);
  }
  if (result.reportMissingProgram) MessageAndKey(MissingPrintProgramMessage());
}

}  // namespace palvorin
