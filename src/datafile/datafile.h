// The record-file layer: every access to the keyed data files goes through here.
//
// A caller names an open file by a small nonzero handle of its own choosing (the module uses a
// fixed handle per file) and binds it at open to a record area it owns: every operation copies
// the record from that area to the engine and the engine's answer back into it. Besides the
// handle and the record area a caller sees the file's current key (its key number and value) and
// a 16-bit status: 0 success, otherwise the engine's number (4 no such key, 5 duplicate key,
// 9 past the end, 84 record locked, 85 file locked ...) or one of the layer's own:
//   3     the handle is not open (nothing else happens),
//   1002  the handle is already open,
//   1003  all 40 slots are in use,
//   1004  the key number has no key, or a prefix is not shorter than the key.
// Status 22 from a read (the engine had more than fits) counts as success.
//
// Lock modes, per open file: 0 no locks; 1 every read locks its record and, when another
// workstation holds it, waits with a message on row 24 and retries until it gets it (or until
// the lock-wait limit, when one is set); 2 every read locks its record and a lock held
// elsewhere comes back as 84 or 85. Inside a transaction no mode waits (DbTransaction).
//
// A file that cannot be opened is the one fatal failure: DbOpen shows "NO ES POT ACCEDIR AL
// FITXER <path> <what happened> (<status>)" in the operator's language, the path as the system
// shows it, waits for a key, releases every file and ends the process. A missing file is first
// created from its dictionary, ddf\<base>.xdf under the installation root, and that is no
// failure; but a folder that had no database at all (a new installation, or a mistyped root)
// is announced, and a database that is damaged or no database is never replaced.
//
// Every insert and update appends a line to db.log in the current directory.
#ifndef PALVORIN_DATAFILE_DATAFILE_H_
#define PALVORIN_DATAFILE_DATAFILE_H_

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/btrcall.h"
#include "os/files.h"

namespace palvorin {

// The layer's own statuses.
constexpr int kDbNotOpen = 3;
constexpr int kDbAlreadyOpen = 1002;
constexpr int kDbNoFreeSlot = 1003;
constexpr int kDbBadKey = 1004;
// Engine statuses the layer's callers act on.
constexpr int kDbDamagedRecord = 54;  // a stored record of another length than the file's
constexpr int kDbRecordLocked = 84;

constexpr int kDbSlots = 40;          // open files at most
constexpr int kDbDataBufferSize = 1536;  // longest record the layer can carry

// Opens the data file `name` under `handle`, bound to `record`. `name` is a DOS-style path
// without or with an extension; without one, ".dat" is added (the extension runs from the first
// dot after the last ":", "\" or "/"). A file that does not exist is created from its
// dictionary. On success `record` is resized to the file's record length (blank-filled when it
// was shorter), the key number is 0 and the current key is all NUL bytes. `status`: 0; 1002
// when the handle is already open; 1003 when no slot is free. Any other failure does not
// return: the message, a key, every file released, the process ends.
// `record` must stay alive until DbReset.
void DbOpen(int handle, const std::string& name, std::string& record, int& status);

// Releases every open file, with their locks. `status` is the engine's; only on 0 are the
// slots emptied.
void DbReset(int& status);

// Reads by key `keyNumber`: mode 0 the record whose key equals `key`, mode > 0 the first at or
// after it, mode < 0 the last at or before it. `key` is cut or NUL-padded to the key's length,
// so a partial value reads as the value followed by the lowest bytes. The record lands in the
// record area and becomes current, and the key number becomes the current one.
// `status`: 0 found; 4 no such key; 9 nothing at or beyond; 1004 no such key number.
void DbGet(int handle, int keyNumber, std::string_view key, int mode, int& status);
int DbGetStatus(int handle, int keyNumber, std::string_view key, int mode);

// Moves `count` records along the current key (backwards when negative); only the record
// finally reached lands in the record area. Count 0 does nothing and gives 0. 9 at either end.
void DbSkip(int handle, int count, int& status);

// Inserts the record area's record (5: its key exists). Logged.
void DbInsert(int handle, int& status);
// Rewrites the current record with the record area's contents, then reads it back by position
// so the record area and the current key show what the file now holds. Logged.
void DbUpdate(int handle, int& status);
// Deletes the current record.
void DbDelete(int handle, int& status);
// After a failed insert, update or delete the current key is all NUL bytes.

// Sets a range on key `keyNumber` for DbRangeNext: from `low` (NUL-padded) to `high`
// (0xFF-padded). A low bound greater than the high bound walks the range backwards.
// `status` is written only on failure (1004).
void DbSetRange(int handle, int keyNumber, std::string_view low, std::string_view high,
                int& status);
// The next record of the range into the record area: 0, or 9 past the high bound (or the
// end), or another failure; any nonzero status clears the range.
int DbRangeNext(int handle);

// Position 0: the current record's position (a stable 32-bit number), 0 when there is none.
// Any other position: reads that record into the record area, making it current on the current
// key number, and returns the status. No locks either way.
int32_t DbPosition(int handle, int32_t position);

// Lock-mode commands, left to right, either case: "D" mode 0, "A" mode 1, "B" mode 2, "+" saves
// the file's mode, "-" restores the newest mode saved for this file (nothing when none); other
// letters are ignored. `status` is written only for a handle that is not open (3).
void DbLockMode(int handle, std::string_view letters, int& status);

// The first free sequence number under `prefix` on key `keyNumber`, whose key is the prefix
// followed by a number in packed digits: counting from 1, the first number not in use.
// `numberCode` gets it packed (key length - prefix length bytes). `status`: 0; 9 when every
// number is in use (the code is then not to be used); 1004 for no such key or a prefix not
// shorter than the key. The key number becomes current.
void DbNextNumber(int handle, int keyNumber, std::string_view prefix, std::string& numberCode,
                  int& status);

// `key` in collation form on the file's current key number: binary segments byte-reversed,
// alternate-collating segments through the file's table, so two such forms compare bytewise in
// the engine's order. Empty for a handle that is not open.
std::string KeyCollate(std::string_view key, int handle);
// The file's current key in collation form.
std::string DbCollateKey(int handle);

// The length of key `keyNumber` (0 when the file has no such key) and the record length; both 0
// for a handle that is not open.
void DbKeyInfo(int handle, int keyNumber, int& keyLength, int& recordLength);

// The current key value, exactly as long as the current key (for tools and tests).
std::string DbCurrentKey(int handle);

// Transactions over every data file of the folder that `handle`'s file lies in: 'B' begins one,
// 'E' ends it keeping every change, 'A' aborts it undoing them. The end of a 'B' transaction
// returns once its changes are on the disk; one begun with 'b' ends without waiting for the
// disk (a crash of the program loses none of it, a power cut may lose the last ones), and 'S'
// then makes every transaction ended so far durable, with one disk sync. Returns the engine's status
// (3 for a handle that is not open, 1 for another letter). Each first lets go of every record
// lock the program holds. A Begin that finds the folder held by another workstation waits for
// it as for a locked record (DbLockWait), holding nothing meanwhile, and gives 85 only once the
// lock-wait limit is spent.
//
// Inside a transaction no lock is waited for: an operation that meets another workstation's
// lock returns 84 or 85 at once and DbTransactionMetLock() turns true until the next Begin. The
// caller then aborts, waits (DbLockWait) and does the transaction's work again, so that no
// program ever waits for a record while holding the folder, or for the folder while holding a
// record, and two programs can never wait for each other.
int DbTransaction(int handle, char command);
bool DbTransactionMetLock();

// A wait for another workstation's lock. Each Pause sleeps `ms`, or a random 1 to 10001 ms when
// none is given, and the lock message ("FITXER BLOQUEJAT. ESPEREU UN MOMENT.") shows on row 24
// from the first pause until the wait object ends. Once the layer's lock-wait limit has been
// slept, Pause returns false without sleeping.
class DbLockWait {
 public:
  DbLockWait() = default;
  ~DbLockWait();
  DbLockWait(const DbLockWait&) = delete;
  DbLockWait& operator=(const DbLockWait&) = delete;
  bool Pause(int ms = -1);

 private:
  long waited_ = 0;
  bool shown_ = false;
};

// What a failing status means, in the operator's language, followed by the number:
// "DISC PLE (18)". Any status has such a text.
std::string DbStatusText(int status);

// The damaged records that reads met since the last call (status 54, the record is passed
// over by the next skip), each as the file's path as the system shows it, the record's
// position and what happened: "/srv/zep/DADES/HProBase.dat, POSICIÓ 21: REGISTRE MALMÈS (54)".
std::vector<std::string> DbTakeDamageReports();

// ---- State ---------------------------------------------------------------------------------

// How the layer reaches the world beyond the engine. The defaults use the screen library, the
// keyboard and the os layer; tests replace them so nothing waits, draws or ends the process.
struct DbEnvironment {
  // The engine's entry point (BTRCALL); a test may wrap it to play another workstation.
  std::function<int16_t(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                        void* keyBuf, uint8_t keyLen, int8_t keyNum)>
      engine;
  std::function<void(int row, const std::string& text)> showMessage;  // framed, left open
  std::function<void()> closeMessage;  // closes the newest window, restoring what it covered
  std::function<void()> beep;
  std::function<void()> discardKeys;  // drops keystrokes typed ahead
  std::function<void()> waitKey;      // waits for one key or mouse press
  std::function<void(int ms)> sleep;
  std::function<double()> random;      // uniform in [0, 1)
  std::function<void(int code)> exit;  // ends the process; a test's version returns
};

// One slot of the open-file table.
struct DbSlotState {
  int handle = 0;  // 0: free
  std::array<uint8_t, kPosBlockSize> positionBlock{};
  std::string* record = nullptr;
  int recordLength = 0;
  int keyNumber = 0;  // -(k + 1): a range on key k is set and its first fetch is pending
  std::string currentKey;
  int lockMode = 0;
  std::string rangeLow, rangeHigh;
  std::string shownPath;  // the file's path as the system shows it, for reports
  // The file's statistics (record length, keys, collating table), read once at open: a file's
  // keys cannot change while it is open, and every keyed read needs its key's length.
  std::string statistics;
};

struct DataFileState {
  std::array<DbSlotState, kDbSlots + 1> slots{};  // slot 0: scratch position block only
  std::string lockStack;  // pairs of (slot, saved mode), newest last
  DbEnvironment env;
  // Where the dictionaries are (a folder ending in a separator); empty: "ddf\" under the
  // installation root.
  std::string dictionaryFolder;
  // The write log; empty: no log (the data tool's loads). Opened at its first line and kept
  // open until DbReset.
  std::string logPath = "db.log";
  AppendFile log;
  std::string pendingLog;  // lines of the open transaction, written when it ends
  // How long a wait for another workstation's lock may last, in milliseconds; negative: as
  // long as it takes (the screen, where the operator sees the message and can ask).
  int lockWaitLimitMs = -1;
  bool inTransaction = false;        // a Begin succeeded and no End or Abort followed
  bool transactionMetLock = false;   // see DbTransactionMetLock
  std::vector<std::string> damageReports;  // see DbTakeDamageReports
};

// The run's only open-file table.
DataFileState& DataFiles();
// Empties the table without calling the engine and puts back the default environment.
void ResetDataFilesForTest();

}  // namespace palvorin

#endif  // PALVORIN_DATAFILE_DATAFILE_H_
