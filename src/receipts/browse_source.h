// The browse lists of the screen library read their keyed files through this layer: the
// source below turns the list's reads into Db calls on the file's handle.
#ifndef PALVORIN_RECEIPTS_BROWSE_SOURCE_H_
#define PALVORIN_RECEIPTS_BROWSE_SOURCE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "screen/browse.h"

namespace palvorin {

// Reads a list's file by handle: at or after a key (DbGet mode 1), the next record (DbSkip),
// keys in collation form (DbCollateKey, KeyCollate), positions (DbPosition) and lock modes
// (DbLockMode). The record read lands in the record area bound to the handle at DbOpen, where
// the program's row hook finds it.
class DbBrowseSource : public BrowseSource {
 public:
  int GetAtOrAfter(int file, int keyNumber, const std::string& key) override;
  int Next(int file) override;
  std::string CurrentKeyCollated(int file) override;
  std::string Collated(int file, const std::string& key) override;
  int32_t Position(int file) override;
  int ReadAt(int file, int32_t position) override;
  void LockMode(int file, std::string_view commands) override;
};

// Installs a DbBrowseSource for the browse lists; the program does so at start-up.
void UseDataFilesForBrowse();

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_BROWSE_SOURCE_H_
