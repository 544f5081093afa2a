// Pictures of windows for the test artifacts: a window as it stands on the screen, saved as PNG.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qx::host {

struct CImage {
    int nWidth = 0;
    int nHeight = 0;
    std::vector<uint8_t> rgb;  // top-down rows of R, G, B
    // How many different colours the picture has (1: a blank rectangle).
    size_t ColourCount() const;
};

// Copies the window's rectangle from the screen (the window should be on top and painted).
CImage CaptureWindow(HWND hWnd);
// Writes the picture as an 8-bit RGB PNG (uncompressed deflate blocks); false on a write error.
bool SavePng(const CImage& image, const std::string& strPath);
// Handles this thread's pending messages (painting among them) until none has come for nQuietMs,
// or nDeadlineMs have passed.
void PumpMessages(DWORD nQuietMs, DWORD nDeadlineMs);

}  // namespace qx::host
