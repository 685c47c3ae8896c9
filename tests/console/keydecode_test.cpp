#include "console/keydecode.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace palvorin {
namespace {

// An expected event, printed readably when a row fails.
struct Ev {
  bool mouse = false;
  int key = 0;
  int mods = 0;
  int button = 0, row = 0, col = 0;
  bool keypad = false;
  std::optional<std::string> pasted = std::nullopt;
  bool operator==(const Ev&) const = default;
};

Ev K(int key, int mods = 0) { return Ev{.key = key, .mods = mods}; }
Ev Pad(int key) { return Ev{.key = key, .keypad = true}; }
// A paste: one Ctrl+V carrying the text.
Ev P(std::string text) { return Ev{.key = 0x16, .mods = kModCtrl, .pasted = std::move(text)}; }
Ev M(int button, int row, int col, int mods = 0) {
  return Ev{.mouse = true, .mods = mods, .button = button, .row = row, .col = col};
}

std::string Show(const std::vector<Ev>& evs) {  // "[3B00 m2]", "[mouse b1 r5 c10 m0]"
  std::string s;
  char buf[80];
  for (const Ev& e : evs) {
    if (e.mouse)
      snprintf(buf, sizeof buf, "[mouse b%d r%d c%d m%d]", e.button, e.row, e.col, e.mods);
    else
      snprintf(buf, sizeof buf, "[%04X m%d%s]", e.key, e.mods, e.keypad ? " pad" : "");
    s += buf;
    if (e.pasted) s += "<" + *e.pasted + ">";
  }
  return s;
}

std::string Hex(std::string_view bytes) {
  std::string s;
  char buf[4];
  for (unsigned char c : bytes) {
    snprintf(buf, sizeof buf, "%02x ", c);
    s += buf;
  }
  return s;
}

void PrintTo(const Ev& e, std::ostream* os) { *os << Show({e}); }

std::vector<Ev> Collect(KeyDecoder& d, bool final) {
  std::vector<Ev> out;
  while (auto e = d.Next(final)) {
    if (e->kind == InputEvent::Kind::Mouse)
      out.push_back(M(e->button, e->row, e->col, e->mods));
    else
      out.push_back(Ev{.key = e->key, .mods = e->mods, .keypad = e->keypad, .pasted = e->pasted});
  }
  return out;
}

// Decodes bytes that arrived together, the Esc timeout then passing.
std::vector<Ev> Decode(std::string_view bytes) {
  KeyDecoder d;
  d.Feed(bytes);
  std::vector<Ev> out = Collect(d, false);
  std::vector<Ev> rest = Collect(d, true);
  out.insert(out.end(), rest.begin(), rest.end());
  EXPECT_FALSE(d.Waiting()) << Hex(bytes);
  return out;
}

struct Case {
  std::string_view bytes;
  std::vector<Ev> want;
};

void Check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::vector<Ev> got = Decode(c.bytes);
    EXPECT_EQ(got, c.want) << "bytes " << Hex(c.bytes) << " gave " << Show(got) << " want "
                           << Show(c.want);
  }
}

constexpr int S = kModShift, C = kModCtrl, A = kModAlt;

TEST(KeyDecode, FunctionKeysComeWithTheirModifiers) {
  Check({
      {"\x1bOP", {K(0x3B00)}},         {"\x1bOQ", {K(0x3C00)}},
      {"\x1bOR", {K(0x3D00)}},         {"\x1bOS", {K(0x3E00)}},
      {"\x1b[15~", {K(0x3F00)}},       {"\x1b[17~", {K(0x4000)}},
      {"\x1b[18~", {K(0x4100)}},       {"\x1b[19~", {K(0x4200)}},
      {"\x1b[20~", {K(0x4300)}},       {"\x1b[21~", {K(0x4400)}},
      {"\x1b[23~", {K(0x8500)}},       {"\x1b[24~", {K(0x8600)}},
      {"\x1b[1;2P", {K(0x3B00, S)}},   {"\x1b[1;5P", {K(0x3B00, C)}},
      {"\x1b[1;3P", {K(0x3B00, A)}},   {"\x1b[1;5S", {K(0x3E00, C)}},
      {"\x1b[1;3S", {K(0x3E00, A)}},   {"\x1b[15;2~", {K(0x3F00, S)}},
      {"\x1b[15;5~", {K(0x3F00, C)}},  {"\x1b[21;3~", {K(0x4400, A)}},
      {"\x1b[23;2~", {K(0x8500, S)}},  {"\x1b[24;5~", {K(0x8600, C)}},
      {"\x1b[24;3~", {K(0x8600, A)}},  {"\x1b[15;6~", {K(0x3F00, S | C)}},
      {"\x1b[11~", {K(0x3B00)}},       {"\x1b[14~", {K(0x3E00)}},  // rxvt, PuTTY
      {"\x1b[[A", {K(0x3B00)}},        {"\x1b[[E", {K(0x3F00)}},   // Linux console
      {"\x1bO2P", {K(0x3B00, S)}},     {"\x1b\x1b[15~", {K(0x3F00, A)}},
      // Linux console and rxvt: Shift+F3 to Shift+F10 as F13 to F20.
      {"\x1b[25~", {K(0x3D00, S)}},     {"\x1b[26~", {K(0x3E00, S)}},
      {"\x1b[28~", {K(0x3F00, S)}},     {"\x1b[29~", {K(0x4000, S)}},
      {"\x1b[31~", {K(0x4100, S)}},     {"\x1b[34~", {K(0x4400, S)}},
      {"\x1b[30~", {}},
  });
}

TEST(KeyDecode, CursorAndEditingKeys) {
  Check({
      {"\x1b[A", {K(0x4800)}},       {"\x1b[B", {K(0x5000)}},      {"\x1b[C", {K(0x4D00)}},
      {"\x1b[D", {K(0x4B00)}},       {"\x1bOA", {K(0x4800)}},      {"\x1bOD", {K(0x4B00)}},
      {"\x1b[H", {K(0x4700)}},       {"\x1b[F", {K(0x4F00)}},      {"\x1bOH", {K(0x4700)}},
      {"\x1bOF", {K(0x4F00)}},       {"\x1b[1~", {K(0x4700)}},     {"\x1b[4~", {K(0x4F00)}},
      {"\x1b[7~", {K(0x4700)}},      {"\x1b[8~", {K(0x4F00)}},     {"\x1b[5~", {K(0x4900)}},
      {"\x1b[6~", {K(0x5100)}},      {"\x1b[2~", {K(0x5200)}},     {"\x1b[3~", {K(0x5300)}},
      {"\x1b[E", {K(0x4C00)}},       {"\x1b[1;5H", {K(0x4700, C)}}, {"\x1b[1;5D", {K(0x4B00, C)}},
      {"\x1b[1;5C", {K(0x4D00, C)}}, {"\x1b[1;2A", {K(0x4800, S)}}, {"\x1b[3;5~", {K(0x5300, C)}},
      {"\x1b[Z", {K(0x0F00, S)}},    {"\x1b\t", {K(0x0F00, S)}},
  });
}

TEST(KeyDecode, CharactersAndControlBytes) {
  Check({
      {"a", {K('a')}},
      {"Z9 ", {K('Z'), K('9'), K(' ')}},
      {"\x7f", {K(8)}},
      {"\x08", {K(8)}},
      {"\r", {K(0x0D)}},
      {"\n", {K(0x0D)}},
      {"\t", {K(9)}},
      {"\x03", {K(3, C)}},
      {"\x16", {K(0x16, C)}},
      {"\x19", {K(0x19, C)}},
      {std::string_view("\0", 1), {K(0x0300, C)}},
      {"\xc3\xa9", {K(0x82)}},                  // é
      {"\xc3\x91", {K(0xA5)}},                  // Ñ
      {"\xe2\x96\xba\xe2\x95\x94", {K(0x10), K(0xC9)}},  // ► ╔
      {"\xe2\x82\xac", {}},                     // € is not in the code page
      {"\xff", {}},                             // broken UTF-8
      {"\xc3" "A", {K('A')}},                   // a lead byte without its tail
      {"\x1bOp\x1bOy\x1bOM", {Pad('0'), Pad('9'), K(0x0D)}},
  });
}

TEST(KeyDecode, AltLettersGiveThePcAltCodes) {
  Check({
      {"\x1bx", {K(0x2D00, A)}},     {"\x1b" "c", {K(0x2E00, A)}}, {"\x1b" "f", {K(0x2100, A)}},
      {"\x1b" "e", {K(0x1200, A)}},  {"\x1b" "a", {K(0x1E00, A)}}, {"\x1bq", {K(0x1000, A)}},
      {"\x1bz", {K(0x2C00, A)}},     {"\x1bm", {K(0x3200, A)}},    {"\x1bX", {K(0x2D00, A | S)}},
      {"\x1b" "1", {K(0x7800, A)}},  {"\x1b" "0", {K(0x8100, A)}}, {"\x1b-", {K(0x8200, A)}},
      {"\x1b\x7f", {K(0x0E00, A)}},  {"\x1b\r", {K(0x1C00, A)}},   {"\x1bO", {K(0x1800, A | S)}},
      {"\x1b\xc3\xa7", {K(0x87, A)}},  // Alt+ç
      {"\x1b[120;3u", {K(0x2D00, A)}},   {"\x1b[27;3;120~", {K(0x2D00, A)}},
      {"\x1b[99;5u", {K(3, C)}},         {"\x1b[27u", {K(0x1B)}},
  });
}

TEST(KeyDecode, EscAloneAndRepeated) {
  Check({
      {"\x1b", {K(0x1B)}},
      {"\x1b\x1b", {K(0x1B), K(0x1B)}},
      {"\x1b\x1b\x1b", {K(0x1B), K(0x1B), K(0x1B)}},
      {"\x1b\x1bx", {K(0x1B), K(0x2D00, A)}},
  });
}

TEST(KeyDecode, MousePressesOnly) {
  Check({
      {"\x1b[<0;10;5M", {M(1, 5, 10)}},
      {"\x1b[<2;80;25M", {M(2, 25, 80)}},
      {"\x1b[<1;3;4M", {M(3, 4, 3)}},
      {"\x1b[<0;10;5m", {}},                 // release
      {"\x1b[<32;11;5M", {}},                // drag
      {"\x1b[<64;10;5M\x1b[<65;10;5M", {}},  // wheel
      {"\x1b[<16;2;3M", {M(1, 3, 2, C)}},
      {"\x1b[<0;1;1M\x1b[<0;1;1ma", {M(1, 1, 1), K('a')}},
      {"\x1b[M *%", {M(1, 5, 10)}},          // the old report form
      {"\x1b[M#*%", {}},                     // its release
  });
}

TEST(KeyDecode, PasteArrivesAsOneCtrlVWithItsText) {
  Check({
      {"\x1b[200~Ab\x1b[201~", {P("Ab")}},
      {"\x1b[200~\x1b[201~", {P("")}},
      {"\x1b[200~x\r\ny\tz\n\x1b[201~", {P("x\r\ny\tz\n")}},  // line ends are text, not Enter
      {"\x1b[200~\xc3\xa0\xe2\x82\xac\x01\x7f\xff!\x1b[201~", {P("\x85?" "?!")}},
      // Escape sequences inside a paste are text, not keys.
      {"\x1b[200~\x1b[A.\x1b[201~\x1b[A", {P("[A."), K(0x4800)}},
      {"\x1b[200~\x1bx\x1b[201~a", {P("x"), K('a')}},
  });
}

TEST(KeyDecode, UnknownSequencesAreDroppedWithoutLosingTheNextKey) {
  Check({
      {"\x1b[99~a", {K('a')}},
      {"\x1b[?1;2cb", {K('b')}},        // a device attributes reply
      {"\x1b[I\x1b[O", {}},             // focus in and out
      {"\x1b[1;5\x7f", {K(8)}},         // broken off by a control byte
      {"\x1b[", {}},
      {"\x1b[1;", {}},
      {"\x1b[999999999999999999~c", {K('c')}},
  });
}

TEST(KeyDecode, SequencesSplitAcrossReadsWaitForTheirRest) {
  const std::string_view parts[] = {"\x1b", "[", "1", ";5", "P"};
  KeyDecoder d;
  for (std::string_view p : parts) {
    EXPECT_TRUE(Collect(d, false).empty());
    d.Feed(p);
  }
  EXPECT_EQ(Collect(d, false), (std::vector<Ev>{K(0x3B00, C)}));

  d.Feed("\xe2\x96");
  EXPECT_TRUE(Collect(d, false).empty());
  EXPECT_TRUE(d.Waiting());
  d.Feed("\xba");
  EXPECT_EQ(Collect(d, false), (std::vector<Ev>{K(0x10)}));

  // A lone Esc waits for the timeout, then is the Esc key. A paste waits for its end marker,
  // however the reads cut it.
  d.Feed("\x1b");
  EXPECT_TRUE(Collect(d, false).empty());
  EXPECT_EQ(Collect(d, true), (std::vector<Ev>{K(0x1B)}));
  d.Feed("\x1b[200~ab\xc3");
  EXPECT_TRUE(Collect(d, false).empty());
  d.Feed("\xa9\x1b[20");
  EXPECT_TRUE(Collect(d, false).empty());
  EXPECT_TRUE(d.InPaste());
  EXPECT_TRUE(Collect(d, true).empty()) << "the end marker's rest is late, not missing";
  d.Feed("1~c");
  EXPECT_EQ(Collect(d, false), (std::vector<Ev>{P("ab\x82"), K('c')}));
  EXPECT_FALSE(d.InPaste());
}

}  // namespace
}  // namespace palvorin
