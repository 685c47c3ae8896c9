// The browse list: a scrolling list in a window from which the operator picks a record of a
// keyed file (F4 on a field with a pick list), or an item of a list the program prepared.
//
// The records are read in the order of one key, from a start key up to a key prefix that the
// program's start hook gives; the row hook turns each record into its row text (an empty text
// leaves the record out). Rows read are kept in the row cache file Browse.tmp of the
// temporary folder, so scrolling back reads no record again. The cache is a chain of entries
// written one after another from byte position 1 (positions count from 1):
//   4 bytes  position of the previous entry, little-endian signed; 0 for the first
//   4 bytes  the record's position in its file (DbPosition), or the program's item number
//   2 bytes  length n of the row text, little-endian signed
//   n bytes  the row text without trailing spaces
// A list without a file shows the cache as the program wrote it (BrowseCacheClear and
// BrowseCacheAppend write it).
//
// Keys: Up, Down, PgUp, PgDn move; Left and Right scroll sideways by 8 columns (◄ and ► on the
// top line mark hidden columns); Enter chooses; F4 opens the list's second list; any other key
// (a mouse press too) leaves without a choice. Esc while records are being skipped stops the
// reading there.
//
// The keyed files sit in the record-file layer, above this library: the list reads them
// through a BrowseSource that the program installs (the record-file layer provides one).
#ifndef PALVORIN_SCREEN_BROWSE_H_
#define PALVORIN_SCREEN_BROWSE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace palvorin {

// How a browse list reaches the keyed files. `file` is the file's handle.
class BrowseSource {
 public:
  virtual ~BrowseSource() = default;
  // Reads the first record at or after `key` on key `keyNumber`; the status (0 found).
  virtual int GetAtOrAfter(int file, int keyNumber, const std::string& key) = 0;
  // Steps to the next record on the current key; the status (0 found).
  virtual int Next(int file) = 0;
  // The current record's key, and `key`, in the form that compares bytewise in key order.
  virtual std::string CurrentKeyCollated(int file) = 0;
  virtual std::string Collated(int file, const std::string& key) = 0;
  // The current record's position; reading a record again by its position (the status).
  virtual int32_t Position(int file) = 0;
  virtual int ReadAt(int file, int32_t position) = 0;
  // Lock-mode commands ("+d": save the mode and read without locks; "-": restore it).
  virtual void LockMode(int file, std::string_view commands) = 0;
};

// What the program does for its lists.
struct BrowseHooks {
  // Called when a list opens (after its search screen): sets the key the list starts at and
  // the key prefix it ends at (both may stay empty). Nonzero ends the list at once with that
  // result.
  std::function<int(int list, std::string& startKey, std::string& prefix)> start;
  // The row text of the file's current record; empty leaves the record out.
  std::function<std::string(int list)> row;
};

// The browse lists' state for the run.
struct BrowseState {
  BrowseHooks hooks;
  std::unique_ptr<BrowseSource> source;
  // The choice made in a list without a file: its item number and row text.
  int32_t chosenItem = 0;
  std::string chosenText;
};

BrowseState& Browsing();
// BrowseState{} again (hooks and source removed), for tests.
void ResetBrowseForTest();

// Installs the source the lists read keyed files through.
void SetBrowseSource(std::unique_ptr<BrowseSource> source);

// Runs pick list `list` of the form tables. Returns 0 when a row was chosen: for a list with a
// file, the chosen record is then the current record of its file; for a list without one, the
// choice is in Browsing().chosenItem and chosenText. -1 when the operator left without
// choosing (also from the search screen, or on an empty list). Any other value is the status
// of reading the chosen record again, or what the start hook returned.
int Browse(int list);

// The row cache file, and writing it for a list without a file: emptied, then one entry per
// row in the order shown.
std::string BrowseCachePath();
void BrowseCacheClear();
void BrowseCacheAppend(int32_t item, std::string_view text);

}  // namespace palvorin

#endif  // PALVORIN_SCREEN_BROWSE_H_
