// Record operations: keyed and positional reads with their locks, and the three writes.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/engine_state.h"

namespace palvorin {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kMaxPosition = 0xFFFFFFFFu;

// Records read ahead by a Get Next or Get Previous: the first block of a walk is as long as the
// open's last walk (many walks stop after a few records, the same few each time), or
// kFirstBlock for its first one; each block used up doubles the next one.
constexpr size_t kFirstBlock = 8;
constexpr size_t kLargestBlock = 256;

bool IsSingleLock(uint16_t bias) { return bias == kLockSingleWait || bias == kLockSingleNoWait; }
bool IsWaitLock(uint16_t bias) { return bias == kLockSingleWait || bias == kLockMultiWait; }

// ---- Locks ---------------------------------------------------------------------------------

// Takes the lock on record `id` for this process (RecordLocks: the first holder in the process
// takes the lock, later holders only count). 84 when another process holds it, 85 when another
// process's transaction holds every record of the folder (after waiting, for the waiting
// biases).
EngineStatus AcquireLock(Cursor& c, int64_t id, bool wait) {
  const int64_t offset = RecordLockOffset(c.file->fileNo(), id);
  const EngineSettings& settings = Engine().settings;
  // The clock is read only for a lock that may be waited for: a write takes one at every call.
  const auto deadline =
      wait ? Clock::now() + std::chrono::milliseconds(settings.lockWaitMs) : Clock::time_point{};
  for (;;) {
    const EngineStatus st = c.folder->recordLocks().Take(offset, settings.busyTimeoutMs);
    if (st == EngineStatus::Ok || !wait || Clock::now() >= deadline) return st;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ReleaseLock(Cursor& c, int64_t id) {
  c.folder->recordLocks().Give(RecordLockOffset(c.file->fileNo(), id));
}

void ReleaseSingleLock(Cursor& c) {
  if (c.singleLock == 0) return;
  const int64_t id = c.singleLock;
  c.singleLock = 0;
  ReleaseLock(c, id);
}

// Releases every lock of the cursor on record `id` (a deleted record keeps none).
void ReleaseLocksOn(Cursor& c, int64_t id) {
  if (c.singleLock == id) ReleaseSingleLock(c);
  auto it = std::find(c.multiLocks.begin(), c.multiLocks.end(), id);
  if (it != c.multiLocks.end()) {
    c.multiLocks.erase(it);
    ReleaseLock(c, id);
  }
}

// Holds record `id` locked while this process writes it, so that no other process writes or
// locks it meanwhile. A record this process already holds needs nothing more.
class WriteLock {
 public:
  WriteLock(Cursor& c, int64_t id) : c_(c), id_(id), status_(AcquireLock(c_, id_, false)) {}
  ~WriteLock() {
    if (status_ == EngineStatus::Ok) ReleaseLock(c_, id_);
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  EngineStatus status() const { return status_; }

 private:
  Cursor& c_;
  int64_t id_;
  EngineStatus status_;
};

// ---- Reading -------------------------------------------------------------------------------

FileStamp StampOf(Cursor& c) { return {c.folder->Generation(), c.file->writes}; }

// A stored record always has the file's length; any other length was not written by us, and
// taking keys from it could read past its end. Such a record answers DamagedRecord, with the
// file and position in the last error.
bool Intact(const DataFile& f, int64_t id, const std::string& data) {
  if (data.size() == static_cast<size_t>(f.recordLength())) return true;
  Engine().lastError = "damaged record in " + f.name() + " at position " + std::to_string(id) +
                       ": " + std::to_string(data.size()) + " bytes, not " +
                       std::to_string(f.recordLength());
  return false;
}

bool Query(DataFile& f, int key, KeyQuery shape, std::string_view value, int64_t id,
           FoundRow& row) {
  return f.Read(key, shape, value, id, row);
}

// Appends to the read-ahead block the records of the block read `shape`, at most `limit`;
// false when it gave fewer, the end of its walk.
bool Collect(DataFile& f, int key, KeyQuery shape, std::string_view value, int64_t id,
             size_t limit, ReadAhead& ra) {
  const size_t got = f.ReadBlock(key, shape, value, id, limit, ra.rows, ra.count);
  return got == limit;
}

// The steps the last walk on key `k` took; 0 when none.
size_t LastWalk(const Walks& w, int k) {
  return static_cast<size_t>(k) < w.lastWalks.size() ? w.lastWalks[k] : 0;
}

// Ends the walk in progress: its steps become the last walk of its key.
void EndWalk(Walks& w) {
  w.walkEnded = w.walked > 0;
  if (!w.walkEnded) return;
  const auto k = static_cast<size_t>(w.walkKey);
  if (w.lastWalks.size() <= k) w.lastWalks.resize(k + 1, 0);
  w.lastWalks[k] = w.walked;
  w.walked = 0;
}

// The cursor's read-ahead block on key `k`.
ReadAhead& BlockOf(Cursor& c, int k) {
  if (c.ahead.size() <= static_cast<size_t>(k)) c.ahead.resize(static_cast<size_t>(k) + 1);
  return c.ahead[static_cast<size_t>(k)];
}

// Starts block `ra` on key `k` under the file's stamp now: empty, following `fromKey`.
void StartBlock(Cursor& c, ReadAhead& ra, int k, bool forward, const std::string& fromKey,
                int64_t fromId, bool fromEqual) {
  ra.stamp = StampOf(c);
  ra.key = k;
  ra.forward = forward;
  ra.fromKey = fromKey;
  ra.fromId = fromId;
  ra.fromEqual = fromEqual;
  ra.count = 0;
  ra.next = 0;
  ra.atEnd = false;
  ra.gone.clear();
}

// Reads the block of records that follow the cursor's place on key `k` (precede it, going
// backwards): the rest of the place's duplicates, then the next values. A block used up while
// it is current is read on from its last row, the new rows added behind the old (up to
// kLargestBlock rows in all), so that keyed reads behind the walk are still answered from it.
// The stamp is taken before the queries, so a commit that slips in between only makes the
// block look older.
void FillAhead(Cursor& c, int k, bool forward, bool usedUp) {
  DataFile& f = *c.file;
  ReadAhead& ra = BlockOf(c, k);
  const Walks& w = c.walks;
  // As many as the last walk on the key took beyond the steps this one has taken.
  const size_t done = w.walkKey == k ? w.walked : 0;
  const size_t first = LastWalk(w, k) > done ? LastWalk(w, k) - done + 1 : kFirstBlock;
  ra.block = std::min(usedUp ? ra.block * 2 : first, kLargestBlock);
  const bool grows = usedUp && ra.count > 0 && ra.count + ra.block <= kLargestBlock;
  const FoundRow* from = grows ? &ra.rows[ra.count - 1] : nullptr;
  const std::string fromKey = from ? from->collated : c.anchorKey;
  const int64_t fromId = from ? from->id : c.anchorId;
  if (grows)
    ra.next = ra.count;
  else
    StartBlock(c, ra, k, forward, fromKey, fromId, false);
  if (!f.keys()[k].duplicates ||
      !Collect(f, k, forward ? KeyQuery::NextSameBlock : KeyQuery::PrevSameBlock, fromKey,
               fromId, ra.block, ra))
    ra.atEnd = !Collect(f, k, forward ? KeyQuery::GreaterBlock : KeyQuery::LessBlock, fromKey,
                        0, ra.block - (ra.count - ra.next), ra);
  ra.gone.resize(ra.count, 0);
}

// A Get Greater or Get Greater or Equal on an open that walked since its last keyed read: one
// query reads the record found and, behind it, as many records as the last walk on the key
// took, which the next walk will likely ask for.
bool FindStartingWalk(Cursor& c, int k, KeyQuery shape, const std::string& search,
                      FoundRow& row) {
  DataFile& f = *c.file;
  ReadAhead& ra = BlockOf(c, k);
  ra.block = std::min(LastWalk(c.walks, k) + 1, kLargestBlock);
  StartBlock(c, ra, k, true, search, -1, shape == KeyQuery::GreaterOrEqualBlock);
  ra.atEnd = !Collect(f, k, shape, search, 0, ra.block + 1, ra);
  ra.gone.assign(ra.count, 0);
  ra.next = ra.count > 0 ? 1 : 0;
  if (ra.count == 0) return false;
  row = ra.rows[0];
  return true;
}

// Whether block `ra` on key `k` holds what the file holds, for a walk in that direction.
bool Current(Cursor& c, const ReadAhead& ra, int k, bool forward) {
  return ra.key == k && ra.forward == forward && ra.stamp == StampOf(c);
}

// The first row of a forward block whose value is `v` or past it; count when none.
size_t FirstAtOrPast(const ReadAhead& ra, const std::string& v) {
  const auto end = ra.rows.begin() + static_cast<std::ptrdiff_t>(ra.count);
  return static_cast<size_t>(
      std::lower_bound(ra.rows.begin(), end, v,
                       [](const FoundRow& r, const std::string& x) { return r.collated < x; }) -
      ra.rows.begin());
}

// Whether the cursor's read-ahead block on key `k` continues its walk: same direction, the
// file unchanged since, and the cursor on one of its rows or at the place it follows; the
// next row to serve is then the one after the cursor.
bool AheadServes(Cursor& c, int k, bool forward) {
  ReadAhead& ra = BlockOf(c, k);
  if (!Current(c, ra, k, forward)) return false;
  const auto at = [&](size_t i) {
    return ra.rows[i].id == c.anchorId && ra.rows[i].collated == c.anchorKey;
  };
  if (ra.next > 0 && at(ra.next - 1)) return true;
  for (size_t i = forward ? FirstAtOrPast(ra, c.anchorKey) : 0; i < ra.count; ++i) {
    if (at(i)) {
      ra.next = i + 1;
      return true;
    }
    if (forward && ra.rows[i].collated != c.anchorKey) break;
  }
  ra.next = 0;
  return c.anchorId == ra.fromId && c.anchorKey == ra.fromKey;
}

// The first row from rows[from] on that this process has not deleted since; count when none.
size_t FirstLeft(const ReadAhead& ra, size_t from) {
  while (from < ra.count && ra.gone[from]) ++from;
  return from;
}

// The record a Get Next / Get Previous reaches, from the read-ahead block, read again when it
// no longer serves or is used up.
bool FindAhead(Cursor& c, int k, bool forward, FoundRow& row) {
  ReadAhead& ra = BlockOf(c, k);
  size_t at = 0;
  if (!AheadServes(c, k, forward)) {
    FillAhead(c, k, forward, false);
  } else if (at = FirstLeft(ra, ra.next); at == ra.count && !ra.atEnd) {
    FillAhead(c, k, forward, true);
    at = ra.next;
  }
  if (at >= ra.count) return false;
  ra.next = at;
  row = ra.rows[at];
  c.walks.peeked = true;
  return true;
}

// A Get Equal, Get Greater or Equal or Get Greater of `search` on key `k` answered from the
// cursor's current block on the key, when the answer lies among its rows: the first row left
// at or past the value. False when the block cannot tell (`found` is then left alone).
bool FindInBlock(Cursor& c, int k, KeyQuery shape, const std::string& search, bool& found,
                 FoundRow& row) {
  if (c.ahead.size() <= static_cast<size_t>(k)) return false;
  const ReadAhead& ra = c.ahead[static_cast<size_t>(k)];
  if (!Current(c, ra, k, true)) return false;
  // Every record at or past the value is among the rows, up to the last one.
  const bool greater = shape == KeyQuery::Greater;
  if (search < ra.fromKey || (search == ra.fromKey && !greater && !ra.fromEqual)) return false;
  for (size_t i = FirstLeft(ra, FirstAtOrPast(ra, search)); i < ra.count;
       i = FirstLeft(ra, i + 1)) {
    const std::string& v = ra.rows[i].collated;
    if (v < search || (greater && v == search)) continue;
    found = shape != KeyQuery::Equal || v == search;
    if (found) row = ra.rows[i];
    return true;
  }
  if (!ra.atEnd) return false;
  found = false;
  return true;
}

// Whether a Get Next / Previous is served by reading ahead: where the store tells changes, and
// for a key-only step only on a key without duplicates (where it reaches the next record too).
bool AheadFits(const Cursor& c, const CallArgs& a) {
  return c.folder->tellsChanges() && (!a.keyOnly || !c.file->keys()[a.keyNum].duplicates);
}

// Finds the record a get reaches, without changing the cursor.
bool FindForGet(Cursor& c, const CallArgs& a, FoundRow& row) {
  DataFile& f = *c.file;
  const int k = a.keyNum;
  std::string& search = Engine().search;
  switch (static_cast<EngineOp>(a.base)) {
    case EngineOp::GetEqual:
    case EngineOp::GetGreater:
    case EngineOp::GetGreaterOrEqual:
    case EngineOp::GetLess:
    case EngineOp::GetLessOrEqual: {
      CollateKey(f.keys()[k], a.key, search);
      static constexpr KeyQuery kShape[] = {
          KeyQuery::Equal,          KeyQuery::kCount, KeyQuery::kCount,     KeyQuery::Greater,
          KeyQuery::GreaterOrEqual, KeyQuery::Less,   KeyQuery::LessOrEqual};
      // A read with a lock finds the record the lock covers: from the file, unless the folder
      // is this process's to write (then nothing changes it unseen).
      const bool unlockedOrOurs = a.lockBias == 0 || c.folder->inTransaction();
      KeyedRead& last = c.lastKeyed;
      const FileStamp stamp = StampOf(c);
      if (unlockedOrOurs && last.valid && last.key == k && last.op == a.base &&
          last.stamp == stamp && last.search == search) {
        row = last.row;
        return last.found;
      }
      const KeyQuery shape = kShape[a.base - static_cast<uint16_t>(EngineOp::GetEqual)];
      const bool fromBlock = unlockedOrOurs && AheadFits(c, a);
      const bool startsWalk = fromBlock && c.walks.walkEnded && LastWalk(c.walks, k) > 0;
      const bool seeks = shape == KeyQuery::Equal || shape == KeyQuery::GreaterOrEqual ||
                         shape == KeyQuery::Greater;
      bool found = false;
      if (!fromBlock || !seeks || !FindInBlock(c, k, shape, search, found, row)) {
        if (startsWalk && shape == KeyQuery::GreaterOrEqual)
          found = FindStartingWalk(c, k, KeyQuery::GreaterOrEqualBlock, search, row);
        else if (startsWalk && shape == KeyQuery::Greater)
          found = FindStartingWalk(c, k, KeyQuery::GreaterBlock, search, row);
        else
          found = Query(f, k, shape, search, 0, row);
      }
      last.valid = unlockedOrOurs;
      if (last.valid) {
        last.key = k;
        last.op = a.base;
        last.search = search;
        last.stamp = stamp;
        last.found = found;
        last.row = row;
      }
      return found;
    }
    case EngineOp::GetFirst:
      return Query(f, k, KeyQuery::First, {}, 0, row);
    case EngineOp::GetLast:
      return Query(f, k, KeyQuery::Last, {}, 0, row);
    case EngineOp::GetNext:
      if (AheadFits(c, a)) return FindAhead(c, k, true, row);
      // The rest of the current value's duplicates first, then the next value; a key-only
      // step goes straight to the next value. Two index seeks: never one query with OR.
      if (!a.keyOnly && f.keys()[k].duplicates &&
          Query(f, k, KeyQuery::NextSame, c.anchorKey, c.anchorId, row))
        return true;
      return Query(f, k, KeyQuery::Greater, c.anchorKey, 0, row);
    case EngineOp::GetPrevious:
      if (AheadFits(c, a)) return FindAhead(c, k, false, row);
      if (!a.keyOnly && f.keys()[k].duplicates &&
          Query(f, k, KeyQuery::PrevSame, c.anchorKey, c.anchorId, row))
        return true;
      return Query(f, k, KeyQuery::Less, c.anchorKey, 0, row);
    default:
      return false;
  }
}

// Finds the record and, with a lock bias, locks it and finds it again, so that what is
// returned is what was locked. 84 when another process holds it.
EngineStatus FindLocked(Cursor& c, const CallArgs& a, bool& found, FoundRow& row,
                        bool (*find)(Cursor&, const CallArgs&, FoundRow&)) {
  found = find(c, a, row);
  if (!found || a.lockBias == 0) return EngineStatus::Ok;
  const bool single = IsSingleLock(a.lockBias);
  // A new single lock replaces the old one; letting go first means two processes that
  // swap records never hold each other's.
  if (single) ReleaseSingleLock(c);
  for (int attempt = 0;; ++attempt) {
    const int64_t id = row.id;
    const bool alreadyMine =
        std::find(c.multiLocks.begin(), c.multiLocks.end(), id) != c.multiLocks.end();
    if (!alreadyMine) {
      const EngineStatus st = AcquireLock(c, id, IsWaitLock(a.lockBias));
      if (st != EngineStatus::Ok) return st;
      // Kept on the cursor at once, so that whatever happens next Close releases it.
      if (single)
        c.singleLock = id;
      else
        c.multiLocks.push_back(id);
    }
    // Inside this process's write transaction no other process changes the record between
    // the read and the lock: what was read is what is locked.
    if (c.folder->inTransaction()) return EngineStatus::Ok;
    found = find(c, a, row);
    if (found && row.id == id) return EngineStatus::Ok;
    // The record moved or went while we waited for it: let go and look again.
    if (!alreadyMine) ReleaseLocksOn(c, id);
    if (!found || attempt >= 3) return found ? EngineStatus::RecordLocked : EngineStatus::Ok;
  }
}

// Copies a found record out: its key value on `keyNum` into the key buffer, and (unless
// key-only) its bytes into the data buffer; a short data buffer gets what fits and 22.
EngineStatus ReturnRecord(Cursor& c, const CallArgs& a, const FoundRow& row, int keyNum) {
  const DataFile& f = *c.file;
  const auto* rec = reinterpret_cast<const uint8_t*>(row.data.data());
  if (keyNum >= 0) {
    const KeyCodec& key = f.keys()[keyNum];
    for (const SegmentCodec& s : key.segments)
      std::memcpy(a.key + s.keyOffset, rec + s.recordOffset, s.length);
  }
  if (a.keyOnly) {
    if (a.dataLen) *a.dataLen = 0;
    return EngineStatus::Ok;
  }
  const uint32_t n = std::min<uint32_t>(*a.dataLen, static_cast<uint32_t>(row.data.size()));
  std::memcpy(a.data, row.data.data(), n);
  *a.dataLen = n;
  return n < row.data.size() ? EngineStatus::DataBufferTooShort : EngineStatus::Ok;
}

void SetPlace(Cursor& c, const FoundRow& row, int keyNum, bool keyOnly) {
  c.physical = row.id;
  c.afterKeyOnly = keyOnly;
  c.logicalKey = keyNum;
  c.anchorKey = row.collated;
  c.anchorId = row.id;
}

// Keeps what the open just wrote, so that reading it back at once needs no query.
void RememberWritten(Cursor& c, int64_t id, const uint8_t* data, int length) {
  c.writtenId = id;
  c.writtenAtCall = Engine().calls;
  c.written.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
}

// True when the record at `id` is the one this open wrote in the call just before this one:
// nothing of this process ran in between, so the file holds what was written. A read that asks
// for a lock always goes to the file, which locks the record and reads what the lock covers.
bool JustWritten(const Cursor& c, int64_t id, uint16_t lockBias) {
  return lockBias == 0 && id != 0 && id == c.writtenId && c.writtenAtCall + 1 == Engine().calls;
}

bool FindById(Cursor& c, const CallArgs& a, FoundRow& row) {
  uint32_t pos;
  std::memcpy(&pos, a.data, 4);
  if (JustWritten(c, pos, a.lockBias)) {
    row.id = pos;
    row.data = c.written;
    row.collated.clear();
    return true;
  }
  if (pos == 0 || !c.file->ReadById(pos, row.data)) return false;
  row.id = pos;
  row.collated.clear();
  return true;
}

// Checks the arguments every write shares. `needKey`: the call returns a key value.
EngineStatus CheckWrite(const Cursor& c, const CallArgs& a) {
  if (c.readOnly) return EngineStatus::AccessDenied;
  if (!a.dataLen || !a.data || *a.dataLen != static_cast<uint32_t>(c.file->recordLength()))
    return EngineStatus::DataBufferTooShort;
  if (a.keyNum < -1 || a.keyNum >= static_cast<int>(c.file->keys().size()))
    return EngineStatus::InvalidKeyNumber;
  if (a.keyNum >= 0 && (!a.key || a.keyLen < c.file->keys()[a.keyNum].length))
    return EngineStatus::KeyBufferTooShort;
  return EngineStatus::Ok;
}

// After a write, the record's key value on the call's key goes back to the caller and the
// cursor's place follows the record on that key (key number -1 leaves the place alone).
void PlaceAfterWrite(Cursor& c, const CallArgs& a, int64_t id, const RecordKeys& keys) {
  c.physical = id;
  c.afterKeyOnly = false;
  c.currentData.assign(reinterpret_cast<const char*>(a.data),
                       static_cast<size_t>(c.file->recordLength()));
  c.currentStamp = StampOf(c);
  if (a.keyNum < 0) return;
  std::memcpy(a.key, keys.raw[a.keyNum].data(), keys.raw[a.keyNum].size());
  if (keys.null[a.keyNum]) {
    c.logicalKey = -1;
    return;
  }
  c.logicalKey = a.keyNum;
  c.anchorKey = keys.collated[a.keyNum];
  c.anchorId = id;
}

// One write of this process to a record, as the read-ahead blocks of its opens need it.
struct OwnWrite {
  enum class Kind { Insert, Update, Delete } kind;
  int64_t id = 0;
  const uint8_t* data = nullptr;     // the record's new bytes (insert, update)
  const RecordKeys* keys = nullptr;  // its keys (insert)
  uint64_t changedKeys = 0;          // the keys whose value changed (update; see HasKey)
};

// Whether key value `v` lies outside the stretch of the walk a block covers: before the place
// it follows, or past its last row while more records follow.
bool OutsideBlock(const ReadAhead& ra, const std::string& v) {
  const auto before = [&ra](const std::string& x, const std::string& y) {
    return ra.forward ? x < y : y < x;
  };
  if (before(v, ra.fromKey)) return true;
  return !ra.atEnd && ra.count > 0 && before(ra.rows[ra.count - 1].collated, v);
}

// Takes a record inserted inside a block's stretch into the block, where the walk meets it: the
// block then holds every record of its stretch again. One that sorts past the last row while
// more records follow lies beyond the stretch, and stays out.
void TakeIntoBlock(ReadAhead& ra, const OwnWrite& w, const std::string& v, int recordLength) {
  const auto after = [&](const FoundRow& r) {
    if (r.collated != v) return ra.forward ? v < r.collated : r.collated < v;
    return ra.forward ? w.id < r.id : r.id < w.id;
  };
  const size_t at = static_cast<size_t>(
      std::find_if(ra.rows.begin(), ra.rows.begin() + ra.count, after) - ra.rows.begin());
  if (at == ra.count && !ra.atEnd) return;
  if (ra.rows.size() == ra.count) ra.rows.emplace_back();
  FoundRow& spare = ra.rows[ra.count];
  spare.id = w.id;
  spare.data.assign(reinterpret_cast<const char*>(w.data), static_cast<size_t>(recordLength));
  spare.collated.assign(v);
  std::rotate(ra.rows.begin() + at, ra.rows.begin() + ra.count, ra.rows.begin() + ra.count + 1);
  ra.gone.insert(ra.gone.begin() + at, 0);
  ++ra.count;
  if (at < ra.next) ++ra.next;  // behind the place the walk stands at: already passed
}

// Whether a read-ahead block still holds what the file holds along its stretch after write
// `w`, brought up to date where it needs it: an updated record that stays in place gets its
// new bytes, a deleted one is marked gone, an inserted one is taken in.
bool StillHolds(ReadAhead& ra, const OwnWrite& w, int recordLength) {
  const auto k = static_cast<size_t>(ra.key);
  switch (w.kind) {
    case OwnWrite::Kind::Insert: {
      if (w.keys->null[k] || OutsideBlock(ra, w.keys->collated[k])) return true;
      // At the value of the place itself: which side of the place it falls on is the key's.
      if (w.keys->collated[k] == ra.fromKey) return false;
      TakeIntoBlock(ra, w, w.keys->collated[k], recordLength);
      return true;
    }
    case OwnWrite::Kind::Update:
      if (HasKey(w.changedKeys, k)) return false;
      for (size_t i = 0; i < ra.count; ++i)
        if (ra.rows[i].id == w.id)
          ra.rows[i].data.assign(reinterpret_cast<const char*>(w.data),
                                 static_cast<size_t>(recordLength));
      return true;
    case OwnWrite::Kind::Delete:
      for (size_t i = 0; i < ra.count; ++i)
        if (ra.rows[i].id == w.id) ra.gone[i] = 1;
      return true;
  }
  return false;
}

// After a write of this process that left the folder's generation as it was (inside its
// transaction, where no other process commits): the read-ahead blocks of the file's opens
// that were current before it and still hold are current after it. Every other block is
// read again when next used.
void KeepAheadAfterWrite(Cursor& c, const FileStamp& before, const OwnWrite& w) {
  const FileStamp after = StampOf(c);
  if (after.generation != before.generation) return;
  for (Cursor& other : Engine().cursors) {
    if (!other.inUse || other.file != c.file) continue;
    for (ReadAhead& ra : other.ahead)
      if (ra.key >= 0 && ra.stamp == before && StillHolds(ra, w, c.file->recordLength()))
        ra.stamp = after;
  }
}

}  // namespace

void ComputeKeys(const DataFile& f, const uint8_t* rec, RecordKeys& out) {
  const size_t n = f.keys().size();
  out.raw.resize(n);
  out.collated.resize(n);
  out.null.resize(n);
  for (size_t k = 0; k < n; ++k) {
    const KeyCodec& key = f.keys()[k];
    out.raw[k].resize(key.length);
    for (const SegmentCodec& seg : key.segments)
      std::memcpy(out.raw[k].data() + seg.keyOffset, rec + seg.recordOffset, seg.length);
    const auto* raw = reinterpret_cast<const uint8_t*>(out.raw[k].data());
    out.null[k] = IsNullKey(key, raw);
    CollateKey(key, raw, out.collated[k]);
  }
}

void ReleaseAllLocks(Cursor& c) {
  ReleaseSingleLock(c);
  for (int64_t id : c.multiLocks) ReleaseLock(c, id);
  c.multiLocks.clear();
}

EngineStatus DoGet(Cursor& c, const CallArgs& a) {
  const DataFile& f = *c.file;
  if (a.keyNum < 0 || a.keyNum >= static_cast<int>(f.keys().size()))
    return EngineStatus::InvalidKeyNumber;
  if (!a.key || a.keyLen < f.keys()[a.keyNum].length) return EngineStatus::KeyBufferTooShort;
  if (!a.keyOnly && (!a.data || !a.dataLen)) return EngineStatus::DataBufferTooShort;
  const auto op = static_cast<EngineOp>(a.base);
  const bool stepping = op == EngineOp::GetNext || op == EngineOp::GetPrevious;
  if (stepping) {
    if (c.logicalKey < 0) return EngineStatus::InvalidPositioning;
    if (c.logicalKey != a.keyNum) return EngineStatus::DifferentKeyNumber;
  }
  FoundRow& row = Engine().row;
  bool found = false;
  const FileStamp stamp = StampOf(c);
  c.walks.peeked = false;
  if (!stepping) EndWalk(c.walks);
  if (EngineStatus st = FindLocked(c, a, found, row, FindForGet); st != EngineStatus::Ok) return st;
  if (!found) {
    // A step that finds nothing keeps its place; a keyed read that finds nothing has none.
    if (stepping) {
      c.physical = 0;
      c.afterKeyOnly = false;
    } else {
      c.ForgetPlace();
    }
    return op == EngineOp::GetEqual ? EngineStatus::KeyNotFound : EngineStatus::EndOfFile;
  }
  if (c.walks.peeked) {
    ++BlockOf(c, a.keyNum).next;
    Walks& w = c.walks;
    if (w.walkKey != a.keyNum) {
      EndWalk(w);
      w.walkKey = a.keyNum;
    }
    ++w.walked;
  }
  SetPlace(c, row, a.keyNum, a.keyOnly);
  c.currentData.assign(row.data);
  c.currentStamp = stamp;
  // A damaged record becomes current with nothing returned, so that Get Next and Previous go
  // on past it and Get Position tells where it is.
  if (!Intact(*c.file, row.id, row.data)) return EngineStatus::DamagedRecord;
  return ReturnRecord(c, a, row, a.keyNum);
}

EngineStatus DoGetDirect(Cursor& c, const CallArgs& a) {
  const DataFile& f = *c.file;
  if (!a.data || !a.dataLen || *a.dataLen < kPositionSize) return EngineStatus::DataBufferTooShort;
  if (a.keyNum < -1 || a.keyNum >= static_cast<int>(f.keys().size()))
    return EngineStatus::InvalidKeyNumber;
  if (a.keyNum >= 0 && (!a.key || a.keyLen < f.keys()[a.keyNum].length))
    return EngineStatus::KeyBufferTooShort;
  FoundRow& row = Engine().row;
  bool found = false;
  const FileStamp stamp = StampOf(c);
  CallArgs direct = a;
  direct.keyOnly = false;
  if (EngineStatus st = FindLocked(c, direct, found, row, FindById); st != EngineStatus::Ok)
    return st;
  if (!found) return EngineStatus::InvalidRecordAddress;
  // The record becomes current, and Get Next / Previous continue from it on the given key.
  c.physical = row.id;
  c.currentData.assign(row.data);
  c.currentStamp = stamp;
  c.afterKeyOnly = false;
  c.logicalKey = -1;
  if (!Intact(f, row.id, row.data)) return EngineStatus::DamagedRecord;
  if (a.keyNum >= 0) {
    const KeyCodec& key = f.keys()[a.keyNum];
    const std::string raw = KeyFromRecord(key, reinterpret_cast<const uint8_t*>(row.data.data()));
    if (!IsNullKey(key, reinterpret_cast<const uint8_t*>(raw.data()))) {
      CollateKey(key, reinterpret_cast<const uint8_t*>(raw.data()), c.anchorKey);
      c.anchorId = row.id;
      c.logicalKey = a.keyNum;
    }
  }
  return ReturnRecord(c, direct, row, a.keyNum);
}

EngineStatus DoInsert(Cursor& c, const CallArgs& a) {
  if (EngineStatus st = CheckWrite(c, a); st != EngineStatus::Ok) return st;
  DataFile& f = *c.file;
  RecordKeys& keys = Engine().keys;
  ComputeKeys(f, a.data, keys);
  JoinTransaction(*c.folder);
  WriteTxn txn(*c.folder);
  const FileStamp before = StampOf(c);
  ++f.writes;
  const int64_t id = f.InsertRow(a.data, keys);
  if (id <= 0 || id > kMaxPosition)
    throw EngineError{EngineStatus::IoError, "record positions of " + f.name() + " exhausted"};
  txn.Commit();
  KeepAheadAfterWrite(c, before, {OwnWrite::Kind::Insert, id, a.data, &keys, 0});
  PlaceAfterWrite(c, a, id, keys);
  RememberWritten(c, id, a.data, f.recordLength());
  return EngineStatus::Ok;
}

EngineStatus DoUpdate(Cursor& c, const CallArgs& a) {
  if (c.physical == 0 || c.afterKeyOnly) return EngineStatus::InvalidPositioning;
  if (EngineStatus st = CheckWrite(c, a); st != EngineStatus::Ok) return st;
  DataFile& f = *c.file;
  const int64_t id = c.physical;
  WriteLock lock(c, id);
  if (lock.status() != EngineStatus::Ok) return lock.status();
  JoinTransaction(*c.folder);
  WriteTxn txn(*c.folder);
  // The record as it stands: what this open last read or wrote of it, while the file is as it
  // was then; otherwise read again (another process may have changed or deleted it).
  const std::string* old = &c.currentData;
  if (c.currentStamp != StampOf(c) ||
      c.currentData.size() < static_cast<size_t>(f.recordLength())) {
    if (!f.ReadById(id, Engine().old))
      return EngineStatus::InvalidPositioning;  // deleted by another process
    old = &Engine().old;
    if (!Intact(f, id, *old)) return EngineStatus::DamagedRecord;
  }
  // Only the indexes of the keys whose value changes are touched: equal key values store
  // equal index entries.
  uint64_t changed = 0;
  const auto* was = reinterpret_cast<const uint8_t*>(old->data());
  for (size_t k = 0; k < f.keys().size(); ++k) {
    const KeyCodec& key = f.keys()[k];
    bool same = true;
    for (const SegmentCodec& seg : key.segments)
      same = same && std::memcmp(was + seg.recordOffset, a.data + seg.recordOffset,
                                 seg.length) == 0;
    if (same) continue;
    if (!key.modifiable) return EngineStatus::KeyNotModifiable;
    changed |= k < 64 ? uint64_t{1} << k : ~uint64_t{0};
  }
  RecordKeys& keys = Engine().keys;
  ComputeKeys(f, a.data, keys);
  const FileStamp before = StampOf(c);
  ++f.writes;
  f.UpdateRow(id, a.data, keys, changed);
  txn.Commit();
  KeepAheadAfterWrite(c, before, {OwnWrite::Kind::Update, id, a.data, nullptr, changed});
  if (c.singleLock == id) ReleaseSingleLock(c);
  PlaceAfterWrite(c, a, id, keys);
  RememberWritten(c, id, a.data, f.recordLength());
  return EngineStatus::Ok;
}

EngineStatus DoDelete(Cursor& c, const CallArgs& a) {
  (void)a;
  if (c.physical == 0 || c.afterKeyOnly) return EngineStatus::InvalidPositioning;
  if (c.readOnly) return EngineStatus::AccessDenied;
  DataFile& f = *c.file;
  const int64_t id = c.physical;
  {
    WriteLock lock(c, id);
    if (lock.status() != EngineStatus::Ok) return lock.status();
    JoinTransaction(*c.folder);
    WriteTxn txn(*c.folder);
    const FileStamp before = StampOf(c);
    ++f.writes;
    if (!f.DeleteRow(id)) return EngineStatus::InvalidPositioning;
    txn.Commit();
    KeepAheadAfterWrite(c, before, {OwnWrite::Kind::Delete, id, nullptr, nullptr, 0});
  }
  ReleaseLocksOn(c, id);
  // No current record now, but Get Next / Previous still move from where it stood.
  c.physical = 0;
  c.afterKeyOnly = false;
  return EngineStatus::Ok;
}

EngineStatus DoUnlock(Cursor& c, const CallArgs& a) {
  if (a.keyNum >= 0) {
    ReleaseSingleLock(c);
  } else if (a.keyNum == -1) {
    if (!a.data || !a.dataLen || *a.dataLen < kPositionSize)
      return EngineStatus::DataBufferTooShort;
    uint32_t pos;
    std::memcpy(&pos, a.data, 4);
    auto it = std::find(c.multiLocks.begin(), c.multiLocks.end(), static_cast<int64_t>(pos));
    if (it != c.multiLocks.end()) {
      c.multiLocks.erase(it);
      ReleaseLock(c, pos);
    }
  } else {
    for (int64_t id : c.multiLocks) ReleaseLock(c, id);
    c.multiLocks.clear();
  }
  return EngineStatus::Ok;
}

}  // namespace palvorin
