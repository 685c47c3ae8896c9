#include "console/keydecode.h"

#include <algorithm>
#include <array>
#include <vector>

#include "console/glyphs.h"

namespace palvorin {
namespace {

constexpr int kEsc = 0x1B;
constexpr int kEnter = 0x0D;
constexpr int kBackspace = 0x08;
constexpr int kTab = 0x09;
constexpr int kShiftTab = 0x0F00;
constexpr int kCtrlV = 0x16;
constexpr int kHome = 0x4700, kUp = 0x4800, kPgUp = 0x4900, kLeft = 0x4B00, kPad5 = 0x4C00,
              kRight = 0x4D00, kEnd = 0x4F00, kDown = 0x5000, kPgDn = 0x5100, kIns = 0x5200,
              kDel = 0x5300;
constexpr int kF1 = 0x3B00, kF6 = 0x4000, kF11 = 0x8500, kF12 = 0x8600;

// PC Alt codes of the letters A to Z: the scan code of the key on a US keyboard * 256.
constexpr std::array<int, 26> kAltLetters = {
    0x1E00, 0x3000, 0x2E00, 0x2000, 0x1200, 0x2100, 0x2200, 0x2300, 0x1700,
    0x2400, 0x2500, 0x2600, 0x3200, 0x3100, 0x1800, 0x1900, 0x1000, 0x1300,
    0x1F00, 0x1400, 0x1600, 0x2F00, 0x1100, 0x2D00, 0x1500, 0x2C00};

// A CSI or SS3 sequence's parts: "\x1b[1;5P" has params {1, 5} and final 'P'.
struct Sequence {
  int marker = 0;  // '<', '=', '>' or '?' right after the introducer, else 0
  std::vector<int> params;
  int final = 0;
};

InputEvent Key(int key, int mods = 0) {
  InputEvent e;
  e.key = key;
  e.mods = mods;
  return e;
}

// xterm's modifier parameter: 1 + Shift 1 + Alt 2 + Ctrl 4 (+ Meta 8, taken as Alt).
int ModsFromParam(int param) {
  if (param < 2) return 0;
  const int bits = param - 1;
  int mods = 0;
  if (bits & 1) mods |= kModShift;
  if (bits & (2 | 8)) mods |= kModAlt;
  if (bits & 4) mods |= kModCtrl;
  return mods;
}

// A character or control byte typed alone, with the modifiers already known.
InputEvent PlainKey(int code, int mods) {
  switch (code) {
    case 0x00: return Key(0x0300, mods | kModCtrl);
    case 0x08: case 0x7F: return Key(kBackspace, mods);
    case 0x09: return Key(kTab, mods);
    case 0x0A: case 0x0D: return Key(kEnter, mods);
    case 0x1B: return Key(kEsc, mods);
    default: break;
  }
  if (code < 0x20) return Key(code, mods | kModCtrl);
  return Key(code, mods);
}

// Alt held with a typed character (code point): the PC Alt code where there is one.
std::optional<InputEvent> AltKey(char32_t cp) {
  const int shift = cp >= 'A' && cp <= 'Z' ? kModShift : 0;
  if (cp >= 'a' && cp <= 'z') return Key(kAltLetters[cp - 'a'], kModAlt);
  if (cp >= 'A' && cp <= 'Z') return Key(kAltLetters[cp - 'A'], kModAlt | shift);
  if (cp >= '1' && cp <= '9') return Key(0x7800 + static_cast<int>(cp - '1') * 0x100, kModAlt);
  if (cp == '0') return Key(0x8100, kModAlt);
  if (cp == '-') return Key(0x8200, kModAlt);
  if (cp == '=') return Key(0x8300, kModAlt);
  if (cp == 0x7F || cp == 0x08) return Key(0x0E00, kModAlt);
  if (cp == 0x0D) return Key(0x1C00, kModAlt);
  if (cp == 0x09) return Key(kShiftTab, kModShift);  // the Linux console's Shift+Tab
  if (cp == 0x1B) return Key(0x0100, kModAlt);
  if (cp < 0x20) return PlainKey(static_cast<int>(cp), kModAlt);
  const int byte = Cp850FromCodePoint(cp);
  if (byte < 0) return std::nullopt;
  return Key(byte, kModAlt);
}

// A key reported by its Unicode code point with modifiers (kitty's "CSI code;mods u" and
// xterm's "CSI 27;mods;code ~").
std::optional<InputEvent> CodePointKey(int cp, int mods) {
  if (cp >= 57399 && cp <= 57408) {  // keypad 0 to 9
    InputEvent e = Key('0' + cp - 57399, mods);
    e.keypad = true;
    return e;
  }
  if (cp >= 57441 && cp <= 57452) return std::nullopt;  // a modifier key alone
  if (mods & kModAlt) {
    auto e = AltKey(static_cast<char32_t>(cp));
    if (e) e->mods |= mods;
    return e;
  }
  if ((mods & kModCtrl) && ((cp >= 'a' && cp <= 'z') || (cp >= '@' && cp <= '_'))) {
    return PlainKey(cp & 0x1F, mods);
  }
  if (cp < 0x20 || cp == 0x7F) return PlainKey(cp, mods);
  const int byte = Cp850FromCodePoint(static_cast<char32_t>(cp));
  if (byte < 0) return std::nullopt;
  return Key(byte, mods);
}

// Reads the rest of a UTF-8 character whose first byte is `lead`. nullopt with `result`
// set when it is unfinished or broken.
std::optional<char32_t> ReadUtf8(ByteReader& in, int lead, DecodeResult& result) {
  int extra;
  char32_t cp;
  if (lead < 0x80) return static_cast<char32_t>(lead);
  if ((lead & 0xE0) == 0xC0) { extra = 1; cp = lead & 0x1F; }
  else if ((lead & 0xF0) == 0xE0) { extra = 2; cp = lead & 0x0F; }
  else if ((lead & 0xF8) == 0xF0) { extra = 3; cp = lead & 0x07; }
  else { result = DecodeResult::Rejected; return std::nullopt; }
  for (int i = 0; i < extra; ++i) {
    const int b = in.Get();
    if (b < 0) {
      result = in.Final() ? DecodeResult::Rejected : DecodeResult::Incomplete;
      return std::nullopt;
    }
    if ((b & 0xC0) != 0x80) {
      in.Unget();
      result = DecodeResult::Rejected;
      return std::nullopt;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  return cp;
}

// Reads a CSI sequence's parameters and final byte, after "ESC [".
DecodeResult ReadCsi(ByteReader& in, Sequence& seq) {
  constexpr size_t kMaxLength = 64;
  int b = in.Get();
  if (b >= 0x3C && b <= 0x3F) {
    seq.marker = b;
    b = in.Get();
  }
  int value = -1;  // -1: parameter not given
  size_t length = 0;
  for (;; b = in.Get(), ++length) {
    if (b < 0) return in.Final() ? DecodeResult::Rejected : DecodeResult::Incomplete;
    if (length > kMaxLength) return DecodeResult::Rejected;
    if (b >= '0' && b <= '9') {
      value = std::min((value < 0 ? 0 : value) * 10 + (b - '0'), 0xFFFFF);
    } else if (b == ';' || b == ':') {
      seq.params.push_back(value);
      value = -1;
    } else if (b >= 0x20 && b <= 0x2F) {
      // an intermediate byte: none of the keys we know has one
    } else if (b >= 0x40 && b <= 0x7E) {
      if (value >= 0 || !seq.params.empty()) seq.params.push_back(value);
      seq.final = b;
      return DecodeResult::Accepted;
    } else {
      in.Unget();  // a stray byte ends the broken sequence and is decoded on its own
      return DecodeResult::Rejected;
    }
  }
}

int Param(const Sequence& seq, size_t i, int absent) {
  return i < seq.params.size() && seq.params[i] >= 0 ? seq.params[i] : absent;
}

// The key of a letter-final sequence ("CSI A", "ESC O P"), or 0.
int LetterKey(int final) {
  switch (final) {
    case 'A': return kUp;
    case 'B': return kDown;
    case 'C': return kRight;
    case 'D': return kLeft;
    case 'E': return kPad5;
    case 'F': return kEnd;
    case 'H': return kHome;
    case 'P': return kF1;
    case 'Q': return kF1 + 0x100;
    case 'R': return kF1 + 0x200;
    case 'S': return kF1 + 0x300;
    case 'Z': return kShiftTab;
    default: return 0;
  }
}

// The key of "CSI n ~", or 0.
int TildeKey(int n) {
  switch (n) {
    case 1: case 7: return kHome;
    case 2: return kIns;
    case 3: return kDel;
    case 4: case 8: return kEnd;
    case 5: return kPgUp;
    case 6: return kPgDn;
    case 23: return kF11;
    case 24: return kF12;
    default: break;
  }
  if (n >= 11 && n <= 15) return kF1 + (n - 11) * 0x100;
  if (n >= 17 && n <= 21) return kF6 + (n - 17) * 0x100;
  return 0;
}

// The Linux console and rxvt send Shift+F3 to Shift+F10 as the VT220's F13 to F20
// ("CSI 25~" to "CSI 34~"); the function key, or 0. (Their Shift+F1 and Shift+F2 are the
// same bytes as F11 and F12 and cannot be told apart.)
int ShiftedFunctionKey(int n) {
  switch (n) {
    case 25: case 26: return kF1 + (n - 23) * 0x100;  // F3, F4
    case 28: case 29: return kF1 + (n - 24) * 0x100;  // F5, F6
    case 31: case 32: case 33: case 34: return kF1 + (n - 25) * 0x100;  // F7 to F10
    default: return 0;
  }
}

DecodeResult MouseSgr(const Sequence& seq, InputEvent& out) {
  if (seq.params.size() < 3) return DecodeResult::Rejected;
  const int b = Param(seq, 0, 0);
  // Releases, drags and the wheel give nothing: only presses are events.
  if (seq.final == 'm' || (b & (32 | 64 | 128))) return DecodeResult::Ignored;
  static constexpr int kButtons[] = {1, 3, 2, 0};
  if (kButtons[b & 3] == 0) return DecodeResult::Ignored;
  out = InputEvent{};
  out.kind = InputEvent::Kind::Mouse;
  out.button = kButtons[b & 3];
  out.col = std::max(1, Param(seq, 1, 1));
  out.row = std::max(1, Param(seq, 2, 1));
  if (b & 4) out.mods |= kModShift;
  if (b & 8) out.mods |= kModAlt;
  if (b & 16) out.mods |= kModCtrl;
  return DecodeResult::Accepted;
}

// The old mouse report "CSI M b x y", each byte offset by 32; after "CSI M".
DecodeResult MouseX10(ByteReader& in, InputEvent& out) {
  int v[3];
  for (int& x : v) {
    x = in.Get();
    if (x < 0) return in.Final() ? DecodeResult::Rejected : DecodeResult::Incomplete;
    x -= 32;
  }
  Sequence seq;
  seq.params = {v[0], v[1], v[2]};
  seq.final = (v[0] & 3) == 3 ? 'm' : 'M';
  return MouseSgr(seq, out);
}

DecodeResult Accept(InputEvent& out, const InputEvent& e) {
  out = e;
  return DecodeResult::Accepted;
}

DecodeResult FromCsi(ByteReader& in, InputEvent& out, DecoderState& st, int extraMods) {
  // The Linux console's F1 to F5: "CSI [ A" to "CSI [ E".
  const int first = in.Get();
  if (first == '[') {
    const int b = in.Get();
    if (b < 0) return in.Final() ? DecodeResult::Rejected : DecodeResult::Incomplete;
    if (b >= 'A' && b <= 'E') return Accept(out, Key(kF1 + (b - 'A') * 0x100, extraMods));
    return DecodeResult::Rejected;
  }
  if (first == 'M') return MouseX10(in, out);
  if (first >= 0) in.Unget();

  Sequence seq;
  DecodeResult r = ReadCsi(in, seq);
  if (r != DecodeResult::Accepted) return r;
  if (seq.marker == '<' && (seq.final == 'M' || seq.final == 'm')) return MouseSgr(seq, out);
  if (seq.marker != 0) return DecodeResult::Rejected;

  if (seq.final == '~') {
    const int n = Param(seq, 0, 0);
    if (n == 200) {
      st.inPaste = true;
      st.pasted.clear();
      return DecodeResult::Ignored;
    }
    if (n == 201) return DecodeResult::Ignored;
    if (n == 27) {  // xterm's modifyOtherKeys form
      auto e = CodePointKey(Param(seq, 2, 0), ModsFromParam(Param(seq, 1, 1)) | extraMods);
      return e ? Accept(out, *e) : DecodeResult::Ignored;
    }
    if (const int shifted = ShiftedFunctionKey(n); shifted != 0) {
      return Accept(out, Key(shifted, kModShift | ModsFromParam(Param(seq, 1, 1)) | extraMods));
    }
    const int key = TildeKey(n);
    if (key == 0) return DecodeResult::Rejected;
    return Accept(out, Key(key, ModsFromParam(Param(seq, 1, 1)) | extraMods));
  }
  if (seq.final == 'u') {  // kitty's keyboard protocol
    auto e = CodePointKey(Param(seq, 0, 0), ModsFromParam(Param(seq, 1, 1)) | extraMods);
    return e ? Accept(out, *e) : DecodeResult::Ignored;
  }
  const int key = LetterKey(seq.final);
  if (key == 0) return DecodeResult::Rejected;
  int mods = ModsFromParam(Param(seq, 1, 1)) | extraMods;
  if (key == kShiftTab) mods |= kModShift;
  return Accept(out, Key(key, mods));
}

// After "ESC O": the keys of the application cursor and keypad modes.
DecodeResult FromSs3(ByteReader& in, InputEvent& out, int extraMods) {
  int b = in.Get();
  int mods = extraMods;
  // Some terminals put the modifier between: "ESC O 5 P" or "ESC O 1;5 P".
  int param = 0;
  while (b >= 0 && ((b >= '0' && b <= '9') || b == ';')) {
    param = b == ';' ? 0 : param * 10 + (b - '0');
    b = in.Get();
  }
  if (b < 0) return in.Final() ? DecodeResult::Rejected : DecodeResult::Incomplete;
  mods |= ModsFromParam(param);
  if (b >= 'p' && b <= 'y') {
    InputEvent e = Key('0' + (b - 'p'), mods);
    e.keypad = true;
    return Accept(out, e);
  }
  switch (b) {
    case 'M': return Accept(out, Key(kEnter, mods));
    case 'j': return Accept(out, Key('*', mods));
    case 'k': return Accept(out, Key('+', mods));
    case 'l': return Accept(out, Key(',', mods));
    case 'm': return Accept(out, Key('-', mods));
    case 'n': return Accept(out, Key('.', mods));
    case 'o': return Accept(out, Key('/', mods));
    case 'X': return Accept(out, Key('=', mods));
    default: break;
  }
  const int key = LetterKey(b);
  if (key == 0) return DecodeResult::Rejected;
  return Accept(out, Key(key, key == kShiftTab ? mods | kModShift : mods));
}

// After ESC: a sequence, Alt with a key, or the Esc key itself.
DecodeResult FromEsc(ByteReader& in, InputEvent& out, DecoderState& st) {
  const int b = in.Get();
  if (b < 0) {
    if (!in.Final()) return DecodeResult::Incomplete;
    return Accept(out, Key(kEsc));
  }
  if (b == '[') return FromCsi(in, out, st, 0);
  if (b == 'O') {
    // "ESC O" and nothing more is Alt+Shift+O.
    if (in.Get() < 0) {
      if (!in.Final()) return DecodeResult::Incomplete;
      return Accept(out, Key(kAltLetters['o' - 'a'], kModAlt | kModShift));
    }
    in.Unget();
    return FromSs3(in, out, 0);
  }
  if (b == kEsc) {
    // "ESC ESC [ ..." is a sequence with Alt held (rxvt); Esc pressed twice stays two Escs.
    const int c = in.Get();
    if (c < 0 && !in.Final()) return DecodeResult::Incomplete;
    if (c == '[') return FromCsi(in, out, st, kModAlt);
    if (c == 'O') return FromSs3(in, out, kModAlt);
    if (c >= 0) in.Unget();
    in.Unget();
    return Accept(out, Key(kEsc));
  }
  DecodeResult r = DecodeResult::Accepted;
  auto cp = ReadUtf8(in, b, r);
  if (!cp) return r;
  auto e = AltKey(*cp);
  return e ? Accept(out, *e) : DecodeResult::Ignored;
}

// Most of a paste that is kept: more than any screen can take, and a bound on the memory an
// endless paste can use.
constexpr size_t kMaxPaste = 65536;

// One byte or character of pasted text, or the end marker, which hands the whole text over.
DecodeResult FromPaste(ByteReader& in, InputEvent& out, DecoderState& st) {
  const int b = in.Get();
  if (b == kEsc) {
    // Only the end marker is a sequence inside a paste.
    // Anything else drops the Esc alone and takes what follows as text.
    static constexpr std::string_view kEndMarker = "[201~";
    for (size_t i = 0; i < kEndMarker.size(); ++i) {
      const int c = in.Get();
      // An end marker cut by a read waits for its rest however long it takes: read as text
      // it would leave the paste open and swallow every key that follows.
      if (c < 0) return DecodeResult::Incomplete;
      if (c != static_cast<uint8_t>(kEndMarker[i])) {
        in.Back(c < 0 ? i : i + 1);
        return DecodeResult::Rejected;
      }
    }
    st.inPaste = false;
    out = Key(kCtrlV, kModCtrl);
    out.pasted = std::move(st.pasted);
    st.pasted.clear();
    return DecodeResult::Accepted;
  }
  int byte = b;
  if (b >= 0x80) {
    DecodeResult r = DecodeResult::Accepted;
    auto cp = ReadUtf8(in, b, r);
    if (!cp && r == DecodeResult::Incomplete) return r;
    byte = cp ? Cp850FromCodePoint(*cp) : -1;
    if (byte < 0) byte = '?';
  } else if (b < 0x20 && b != 0x0D && b != 0x0A && b != kTab) {
    return DecodeResult::Ignored;
  } else if (b == 0x7F) {
    return DecodeResult::Ignored;
  }
  if (st.pasted.size() < kMaxPaste) st.pasted.push_back(static_cast<char>(byte));
  return DecodeResult::Ignored;
}

}  // namespace

DecodeResult DecodeInput(ByteReader& in, InputEvent& out, DecoderState& st) {
  if (st.inPaste) return FromPaste(in, out, st);
  const int b = in.Get();
  if (b == kEsc) return FromEsc(in, out, st);
  if (b < 0x20 || b == 0x7F) return Accept(out, PlainKey(b, 0));
  DecodeResult r = DecodeResult::Accepted;
  auto cp = ReadUtf8(in, b, r);
  if (!cp) return r;
  const int byte = Cp850FromCodePoint(*cp);
  if (byte < 0) return DecodeResult::Ignored;
  return Accept(out, Key(byte));
}

void KeyDecoder::Feed(std::string_view bytes) {
  // Decoded bytes are dropped only now and then, so a long paste is not moved per key.
  if (start_ > 0 && start_ >= pending_.size() / 2) {
    pending_.erase(0, start_);
    start_ = 0;
  }
  pending_.append(bytes);
}

std::optional<InputEvent> KeyDecoder::Next(bool final) {
  while (start_ < pending_.size()) {
    ByteReader in(std::string_view(pending_).substr(start_), final);
    InputEvent e;
    const DecodeResult r = DecodeInput(in, e, state_);
    if (r == DecodeResult::Incomplete) return std::nullopt;
    // Every other result used at least one byte, so the loop moves on.
    start_ += std::max<size_t>(in.Used(), 1);
    if (r == DecodeResult::Accepted) return e;
  }
  pending_.clear();
  start_ = 0;
  return std::nullopt;
}

}  // namespace palvorin
