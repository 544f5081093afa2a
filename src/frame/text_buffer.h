// The module's settings text buffer: one decoded engine or manager text at a time.
//
// g_textPos is both the cursor of the two byte operations and, after a routine filled the buffer,
// the number of valid bytes. Every routine that fills or drains the buffer first sets it to 0.
//
// Capacity: the byte operations never touch memory outside the buffer. PutTextByte at the capacity
// stores nothing, leaves g_textPos at kTextBufferSize and returns false; a filling routine treats
// that as "text too large" and refuses its load or save as a whole. GetTextByte outside 0..capacity
// returns 0 without moving the cursor (no routine reads beyond the count it set).
#pragma once

#include <cstdint>

namespace qx {

constexpr int32_t kTextBufferSize = 2000000;

extern char g_textBuffer[kTextBufferSize];
extern int32_t g_textPos;

// Stores the low 8 bits of c at g_textPos and advances; false (nothing stored) when full.
bool PutTextByte(int c);
// The byte at g_textPos as a signed 8-bit value, then advances.
signed char GetTextByte();

}  // namespace qx
