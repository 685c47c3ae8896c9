#include "receipts/progress.h"

#include "console/console.h"
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

}  // namespace palvorin
