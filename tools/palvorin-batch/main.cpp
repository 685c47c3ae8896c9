// palvorin-batch: see batch.h.
#include <string>
#include <vector>

#include "batch.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return palvorin::RunBatch(args);
}
