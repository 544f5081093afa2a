#include "frame/text_buffer.h"

namespace qx {

char g_textBuffer[kTextBufferSize];
int32_t g_textPos = 0;

bool PutTextByte(int c)
{
    if (g_textPos < 0 || g_textPos >= kTextBufferSize)
        return false;
    g_textBuffer[g_textPos++] = static_cast<char>(c);
    return true;
}

signed char GetTextByte()
{
    if (g_textPos < 0 || g_textPos >= kTextBufferSize)
        return 0;
    return static_cast<signed char>(g_textBuffer[g_textPos++]);
}

}  // namespace qx
