// The browse list over its row cache.
#include "screen/browse.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "console/console.h"
#include "os/files.h"
#include "screen/forms.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/session.h"

namespace palvorin {

namespace {

constexpr int kEntryHeader = 10;  // previous (4), record position (4), text length (2)
constexpr int kScrollStep = 8;
constexpr char kCornerLeft = '\xC9';   // ╔
constexpr char kCornerRight = '\xBB';  // ╗
constexpr char kLine = '\xCD';         // ═
constexpr char kMoreLeft = 17;         // ◄
constexpr char kMoreRight = 16;        // ►

int32_t GetInt32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return static_cast<int32_t>(v);
}

int16_t GetInt16(const char* p) {
  return static_cast<int16_t>(
      static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8)));
}

void PutInt32(std::string& out, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutInt16(std::string& out, int16_t value) {
  const uint16_t v = static_cast<uint16_t>(value);
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// One entry of the row cache.
struct Entry {
  bool found = false;
  int32_t pos = 0;     // where it starts
  int32_t prev = 0;    // the entry before it; 0 for the first
  int32_t record = 0;  // the record's position in its file, or the item number
  std::string text;
  int32_t next = 0;  // where the entry after it starts
};

// The row cache file, read and written by position (counted from 1).
class RowCache {
 public:
  bool Open(bool empty) {
    OsStatus st =
        file_.Open(BrowseCachePath(), empty ? FileMode::CreateFresh : FileMode::ReadWriteCreate);
    if (!st.ok()) return false;
    int64_t size = 0;
    file_.Size(size);
    size_ = size;
    return true;
  }

  int64_t size() const { return size_; }

  // The entry at `pos`; not found past the end or where the file does not hold a whole entry.
  bool Read(int32_t pos, Entry& e) {
    e = Entry{};
    if (!file_.IsOpen() || pos < 1 || pos + kEntryHeader - 1 > size_) return false;
    char head[kEntryHeader];
    size_t got = 0;
    if (!file_.Read(pos - 1, head, kEntryHeader, got).ok() || got != kEntryHeader) return false;
    const int16_t length = GetInt16(head + 8);
    if (length < 0 || pos + kEntryHeader + length - 1 > size_) return false;
    e.text.resize(static_cast<size_t>(length));
    if (length > 0 &&
        (!file_.Read(pos - 1 + kEntryHeader, e.text.data(), e.text.size(), got).ok() ||
         got != e.text.size()))
      return false;
    e.found = true;
    e.pos = pos;
    e.prev = GetInt32(head);
    if (e.prev < 0 || e.prev >= pos) e.prev = 0;  // a chain must lead back to the start
    e.record = GetInt32(head + 4);
    e.next = pos + kEntryHeader + length;
    return true;
  }

  // Writes an entry at the end of the file; its position.
  int32_t Append(int32_t prev, int32_t record, std::string_view text) {
    const int32_t pos = static_cast<int32_t>(size_ + 1);
    const size_t length = std::min<size_t>(text.size(), 32767);
    std::string bytes;
    PutInt32(bytes, prev);
    PutInt32(bytes, record);
    PutInt16(bytes, static_cast<int16_t>(length));
    bytes.append(text.substr(0, length));
    if (!file_.Write(size_, bytes).ok()) return 0;
    size_ += static_cast<int64_t>(bytes.size());
    return pos;
  }

  void CloseAndDelete() {
    file_.Close();
    DeleteFile(BrowseCachePath());
  }

 private:
  BinaryFile file_;
  int64_t size_ = 0;
};

// One run of a pick list.
class BrowseRun {
 public:
  explicit BrowseRun(int list) : list_(list) {}

  int Run() {
    if (list_ < 1 || list_ > PickListCount()) return -1;
    if (PickListAt(list_).searchScreen != 0) {
      int key = 0;
      FormRun(PickListAt(list_).searchScreen, 0, 0, key);
      if (key == keys::kEsc) return -1;
    }
    BrowseState& st = Browsing();
    if (st.hooks.start) {
      const int r = st.hooks.start(list_, start_, prefix_);
      if (r != 0) return r;
    }
    def_ = PickListAt(list_);  // the start hook may change its key and header
    hasFile_ = def_.file != 0;
    source_ = st.source.get();
    if (hasFile_ && source_ != nullptr) source_->LockMode(def_.file, "+d");
    v_ = def_.bottom - def_.top - 1;
    w_ = def_.right - def_.left - 1;

    SetColour("+n");
    WinPush(def_.top, def_.left, def_.bottom, def_.right);
    DrawWindowFrame(2);
    SetColour("h");
    SetKeys("+ea", "d,1b,4800,5000,4900,5100,4b00,4d00");
    if (def_.secondList != 0) SetKeys("a", "3e00");
    cache_.Open(hasFile_);
    if (!hasFile_ || source_ == nullptr) ended_ = true;

    DrawPage(1, 1);
    DrawHeader();
    int result = -1;
    bool second = false;
    for (bool done = false; !done;) {
      SetColour("u");
      PrintRow(cursorRow_, cur_.text);
      int key = 0;
      GetKey(key);
      SetColour("h");
      PrintRow(cursorRow_, cur_.text);
      switch (key) {
        case keys::kUp:
          Up();
          break;
        case keys::kDown:
          Down();
          break;
        case keys::kPgUp:
          PageUp();
          break;
        case keys::kPgDn:
          PageDown();
          break;
        case keys::kLeft:
          if (colOffset_ > 1) Scroll(-kScrollStep);
          break;
        case keys::kRight:
          if (colOffset_ <= widestExcess_) Scroll(kScrollStep);
          break;
        case keys::kEnter:
          result = Choose();
          done = true;
          break;
        case keys::kF4:
          second = def_.secondList != 0;
          done = true;
          break;
        default:
          done = true;
          break;
      }
    }

    cache_.CloseAndDelete();
    SetKeys("-", "");
    if (second) {
      // The list's window stays on the screen under the second list.
      result = Browse(def_.secondList);
      if (result == 0 && Forms().hooks.pick) {
        int list = def_.secondList;
        int field = 0;
        Forms().hooks.pick(list, 0, field);
      }
    }
    WinPop();
    SetColour("-");
    if (hasFile_ && source_ != nullptr) source_->LockMode(def_.file, "-");
    return result;
  }

 private:
  // Whether the current record lies past the prefix the list ends at.
  bool BeyondPrefix() {
    if (prefix_.empty()) return false;
    const std::string key = source_->CurrentKeyCollated(def_.file).substr(0, prefix_.size());
    return key > prefixCollated_.substr(0, prefix_.size());
  }

  // Takes a keystroke typed while records are being passed over: Esc stops the reading, any
  // other key is dropped.
  bool EscapePressed() {
    int key = 0, button = 0, row = 0, col = 0;
    ReadKey(key, button, row, col);
    return key == keys::kEsc;
  }

  // Reads records until one gives a row (appended to the cache) or the list ends.
  bool Extend() {
    if (ended_) return false;
    if (!started_) {
      started_ = true;
      const int status = source_->GetAtOrAfter(def_.file, def_.keyNumber, start_);
      if (status == 0 && !prefix_.empty()) prefixCollated_ = source_->Collated(def_.file, prefix_);
      if (status != 0 || BeyondPrefix()) {
        ended_ = true;
        return false;
      }
    }
    const BrowseHooks& hooks = Browsing().hooks;
    for (;;) {
      const std::string text = TrimRight(hooks.row ? hooks.row(list_) : std::string());
      bool produced = false;
      if (!text.empty()) {
        const int32_t pos = cache_.Append(lastWritten_, source_->Position(def_.file), text);
        if (pos == 0) {  // the cache cannot grow: show what it holds
          ended_ = true;
          return false;
        }
        lastWritten_ = pos;
        produced = true;
      }
      // While records without a row are passed over, Esc stops the reading; keys typed ahead
      // of rows being read are left for the list.
      if (source_->Next(def_.file) != 0 || BeyondPrefix() || (!produced && EscapePressed()))
        ended_ = true;
      if (produced) return true;
      if (ended_) return false;
    }
  }

  bool ReadEntry(int32_t pos, Entry& e) {
    while (pos > cache_.size() && Extend()) {
    }
    return cache_.Read(pos, e);
  }

  bool IsLast(const Entry& e) const { return e.next > cache_.size() && ended_; }

  void PrintRow(int row, const std::string& text) {
    std::string shown = static_cast<int>(text.size()) >= colOffset_
                            ? text.substr(static_cast<size_t>(colOffset_ - 1))
                            : "";
    shown.resize(static_cast<size_t>(std::max(w_, 0)), ' ');
    LocateInWindow(row, 1);
    ConPrint(shown);
  }

  void DrawHeader() {
    SetColour("+n");
    LocateInWindow(0, 0);
    std::string line(1, colOffset_ == 1 ? kCornerLeft : kMoreLeft);
    const std::string& header = def_.header;
    std::string part =
        static_cast<int>(header.size()) >= colOffset_
            ? header.substr(static_cast<size_t>(colOffset_ - 1), static_cast<size_t>(w_))
            : "";
    const bool headerGoesOn = static_cast<int>(header.size()) - (colOffset_ - 1) > w_;
    part.resize(static_cast<size_t>(w_), kLine);
    line += part;
    line += (colOffset_ <= widestExcess_ || headerGoesOn) ? kMoreRight : kCornerRight;
    ConPrint(line);
    SetColour("-");
  }

  // Shows the page from entry `start`, then makes entry `current` the current one.
  void DrawPage(int32_t start, int32_t current) {
    pageStart_ = start;
    int32_t pos = start;
    bool dataEnded = false;
    for (int r = 1; r <= v_; ++r) {
      Entry e;
      if (!ReadEntry(pos, e)) {
        cursorRow_ = std::min(cursorRow_, std::max(1, r - 1));
        for (int c = r; c <= v_; ++c) PrintRow(c, "");
        dataEnded = true;
        break;
      }
      PrintRow(r, e.text);
      widestExcess_ = std::max(widestExcess_, static_cast<int>(e.text.size()) - w_);
      pos = e.next;
      if (IsLast(e)) {
        cursorRow_ = std::min(cursorRow_, r);
        for (int c = r + 1; c <= v_; ++c) PrintRow(c, "");
        dataEnded = true;
        break;
      }
    }
    nextPage_ = dataEnded ? 0 : pos;
    ReadEntry(current, cur_);
  }

  void Up() {
    if (!cur_.found || cur_.prev == 0) return;
    ReadEntry(cur_.prev, cur_);
    if (cursorRow_ > 1)
      --cursorRow_;
    else
      DrawPage(cur_.pos, cur_.pos);
  }

  void Down() {
    if (!cur_.found || IsLast(cur_)) return;
    Entry next;
    if (!ReadEntry(cur_.next, next)) return;
    cur_ = next;
    if (cursorRow_ < v_) {
      ++cursorRow_;
    } else {
      Entry first;
      ReadEntry(pageStart_, first);
      DrawPage(first.next, cur_.pos);
    }
  }

  // The position `steps` entries before `pos` (or the first entry), and how many were taken.
  int32_t Back(int32_t pos, int steps, int& taken) {
    taken = 0;
    Entry e;
    while (taken < steps && ReadEntry(pos, e) && e.prev != 0) {
      pos = e.prev;
      ++taken;
    }
    return pos;
  }

  void PageUp() {
    if (pageStart_ <= 1 || !cur_.found) return;
    int pageTaken = 0, curTaken = 0;
    const int32_t start = Back(pageStart_, v_, pageTaken);
    const int32_t current = Back(cur_.pos, v_, curTaken);
    if (pageTaken < v_) cursorRow_ = std::max(1, cursorRow_ - (v_ - pageTaken));
    DrawPage(start, current);
  }

  void PageDown() {
    if (nextPage_ == 0 || !cur_.found) return;
    Entry probe;
    if (!ReadEntry(nextPage_, probe)) {  // the records after the page all gave no row
      nextPage_ = 0;
      return;
    }
    Entry c = cur_;
    for (int i = 0; i < v_ && !IsLast(c); ++i) {
      Entry n;
      if (!ReadEntry(c.next, n)) break;
      c = n;
    }
    DrawPage(nextPage_, c.pos);
  }

  void Scroll(int step) {
    colOffset_ += step;
    DrawPage(pageStart_, cur_.pos);
    DrawHeader();
  }

  int Choose() {
    if (!cur_.found) return -1;
    if (!hasFile_) {
      Browsing().chosenItem = cur_.record;
      Browsing().chosenText = cur_.text;
      return 0;
    }
    if (cur_.record == 0 || source_ == nullptr) return -1;
    return source_->ReadAt(def_.file, cur_.record);
  }

  int list_;
  PickListDef def_;
  bool hasFile_ = false;
  BrowseSource* source_ = nullptr;
  std::string start_, prefix_, prefixCollated_;
  RowCache cache_;
  int v_ = 0, w_ = 0;
  Entry cur_;
  int32_t pageStart_ = 1;
  int32_t nextPage_ = 0;
  int cursorRow_ = 1;
  int colOffset_ = 1;
  int widestExcess_ = 0;
  int32_t lastWritten_ = 0;
  bool started_ = false;
  bool ended_ = false;
};

}  // namespace

BrowseState& Browsing() {
  static BrowseState state;
  return state;
}

void ResetBrowseForTest() { Browsing() = BrowseState{}; }

void SetBrowseSource(std::unique_ptr<BrowseSource> source) {
  Browsing().source = std::move(source);
}

int Browse(int list) { return BrowseRun(list).Run(); }

std::string BrowseCachePath() { return SessionState().tempDir + "Browse.tmp"; }

void BrowseCacheClear() {
  BinaryFile file;
  file.Open(BrowseCachePath(), FileMode::CreateFresh);
}

void BrowseCacheAppend(int32_t item, std::string_view text) {
  RowCache cache;
  if (!cache.Open(false)) return;
  // The new entry links back to the last one in the file.
  int32_t last = 0;
  Entry e;
  for (int32_t pos = 1; cache.Read(pos, e); pos = e.next) last = pos;
  std::string row(text);
  cache.Append(last, item, TrimRight(row));
}

}  // namespace palvorin
