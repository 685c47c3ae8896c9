// The keyed record-file engine's single entry point, with the platform's signature. Our
// engine keeps each folder's data files as tables of one SQLite database in that folder.
#ifndef PALVORIN_ENGINE_BTRCALL_H_
#define PALVORIN_ENGINE_BTRCALL_H_

#include <cstdint>

namespace palvorin {

// The position block a caller keeps for one open file (128 bytes, opaque to the caller).
constexpr int kPosBlockSize = 128;

// Performs operation `op` (base operation + key-only 50 + lock bias 100..400) on the file
// whose position block is `posBlock`, and returns the engine status (0 success).
int16_t BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
                uint8_t keyLen, int8_t keyNum);

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_BTRCALL_H_
