// Checked random access to the controller's memory through the bootloader:
// chunks of at most 500 bytes, 10 attempts each, Fletcher-16 on every chunk.
#pragma once

#include <cstdint>

namespace padflash {

struct Session;

// 0 when every chunk was read with a good reply, else -1. With a null
// destination the data is checked and dropped.
int BL_ReadMemory(Session& session, uint32_t address, uint16_t length, uint8_t* destination);
// 0 when every chunk was written, else -1.
int BL_WriteMemory(Session& session, uint32_t address, uint16_t length, const uint8_t* source);

}  // namespace padflash
