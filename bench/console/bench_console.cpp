// Prints how long the renderer takes for a frame with every cell changed and for a frame
// with one field changed, the bytes each sends, and how many keys per second the decoder
// turns out from typical terminal input.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "console/keydecode.h"
#include "console/render.h"

namespace palvorin {
namespace {

using Clock = std::chrono::steady_clock;

double MicrosSince(Clock::time_point start, int rounds) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
}

void BenchRender() {
  constexpr int kRows = 25, kCols = 80, kRounds = 2000;
  std::vector<Cell> cells(kRows * kCols);
  ScreenRenderer renderer;
  CursorView cursor;
  size_t fullBytes = 0, fieldBytes = 0;
  auto start = Clock::now();
  for (int round = 0; round < kRounds; ++round) {
    for (size_t i = 0; i < cells.size(); ++i) {
      cells[i] = Cell{static_cast<uint8_t>(0x20 + (i + round) % 200),
                      static_cast<uint8_t>((i / 7 + round) % 256)};
    }
    fullBytes += renderer.Render(cells, kRows, kCols, cursor, kRows, kCols).size();
  }
  std::printf("render, every cell changed: %8.1f us/frame, %6zu bytes/frame\n",
              MicrosSince(start, kRounds), fullBytes / kRounds);
  start = Clock::now();
  for (int round = 0; round < kRounds; ++round) {
    for (int c = 0; c < 20; ++c) {
      cells[10 * kCols + 30 + c] = Cell{uint8_t('0' + (round + c) % 10), 0x70};
    }
    cursor.col = 31 + round % 20;
    fieldBytes += renderer.Render(cells, kRows, kCols, cursor, kRows, kCols).size();
  }
  std::printf("render, one 20-cell field:  %8.1f us/frame, %6zu bytes/frame\n",
              MicrosSince(start, kRounds), fieldBytes / kRounds);
  start = Clock::now();
  for (int round = 0; round < kRounds; ++round) {
    renderer.Render(cells, kRows, kCols, cursor, kRows, kCols);
  }
  std::printf("render, nothing changed:    %8.1f us/frame\n", MicrosSince(start, kRounds));
}

void BenchDecode() {
  std::string input;
  for (int i = 0; i < 2000; ++i) {
    input += "abc\xc3\xa9\x1b[A\x1b[15;5~\x1bx\x1b[<0;10;5M\x1b[<0;10;5m\r";
  }
  constexpr int kRounds = 50;
  size_t events = 0;
  const auto start = Clock::now();
  for (int round = 0; round < kRounds; ++round) {
    KeyDecoder decoder;
    decoder.Feed(input);
    while (decoder.Next(true)) ++events;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("decode: %.1f million events/s (%zu events)\n", events / seconds / 1e6, events);
}

}  // namespace
}  // namespace palvorin

int main() {
  palvorin::BenchRender();
  palvorin::BenchDecode();
  return 0;
}
