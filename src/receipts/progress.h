// The progress window of a run on screen: a framed window on the last three rows, titled
// " PROCESSANT ", showing the co-owner being looked at.
#ifndef PALVORIN_RECEIPTS_PROGRESS_H_
#define PALVORIN_RECEIPTS_PROGRESS_H_

#include <string>

#include "receipts/generation.h"

namespace palvorin {

class ScreenProgress : public ProgressSink {
 public:
  // Opens the window from row 23, column 1 to row 25, column 79 in colour "rn" with a single
  // line frame and the translated title on its top line.
  void Open() override;
  // The co-owner at column 2 of the window's first inner row.
  void Show(const std::string& coOwner) override;
  // Closes the window, restoring the screen under it.
  void Close() override;

 private:
  bool open_ = false;
};

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_PROGRESS_H_
