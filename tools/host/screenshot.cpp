#include "host/screenshot.h"

#include <cstdio>
#include <set>

namespace qx::host {

namespace {

uint32_t Crc32(const uint8_t* p, size_t cb, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t n = 0; n < cb; ++n) {
        crc ^= p[n];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* pszType, const std::vector<uint8_t>& data)
{
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> typed(pszType, pszType + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

}  // namespace

size_t CImage::ColourCount() const
{
    std::set<uint32_t> colours;
    for (size_t n = 0; n + 2 < rgb.size(); n += 3)
        colours.insert((uint32_t(rgb[n]) << 16) | (uint32_t(rgb[n + 1]) << 8) | rgb[n + 2]);
    return colours.size();
}

CImage CaptureWindow(HWND hWnd)
{
    CImage image;
    RECT rc {};
    if (!GetWindowRect(hWnd, &rc))
        return image;
    image.nWidth = rc.right - rc.left;
    image.nHeight = rc.bottom - rc.top;
    if (image.nWidth <= 0 || image.nHeight <= 0)
        return CImage();

    HDC hdcScreen = GetDC(nullptr);
    HDC hdcMemory = CreateCompatibleDC(hdcScreen);
    HBITMAP hBitmap = CreateCompatibleBitmap(hdcScreen, image.nWidth, image.nHeight);
    HGDIOBJ hOld = SelectObject(hdcMemory, hBitmap);
    BitBlt(hdcMemory, 0, 0, image.nWidth, image.nHeight, hdcScreen, rc.left, rc.top, SRCCOPY);
    SelectObject(hdcMemory, hOld);

    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.nWidth;
    info.bmiHeader.biHeight = -image.nHeight;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint8_t> bgrx(static_cast<size_t>(image.nWidth) * image.nHeight * 4);
    int nLines = GetDIBits(hdcMemory, hBitmap, 0, image.nHeight, bgrx.data(), &info, DIB_RGB_COLORS);
    DeleteObject(hBitmap);
    DeleteDC(hdcMemory);
    ReleaseDC(nullptr, hdcScreen);
    if (nLines != image.nHeight)
        return CImage();

    image.rgb.resize(static_cast<size_t>(image.nWidth) * image.nHeight * 3);
    for (size_t n = 0, m = 0; n < bgrx.size(); n += 4, m += 3) {
        image.rgb[m] = bgrx[n + 2];
        image.rgb[m + 1] = bgrx[n + 1];
        image.rgb[m + 2] = bgrx[n];
    }
    return image;
}

bool SavePng(const CImage& image, const std::string& strPath)
{
    if (image.nWidth <= 0 || image.nHeight <= 0)
        return false;
    // The raw scan lines, each led by filter type 0.
    std::vector<uint8_t> raw;
    size_t cbRow = static_cast<size_t>(image.nWidth) * 3;
    for (int y = 0; y < image.nHeight; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), image.rgb.begin() + y * cbRow, image.rgb.begin() + (y + 1) * cbRow);
    }
    // A zlib stream of stored blocks (no compression), with its Adler-32.
    std::vector<uint8_t> zlib = {0x78, 0x01};
    size_t nDone = 0;
    do {
        size_t cbBlock = raw.size() - nDone < 65535 ? raw.size() - nDone : 65535;
        bool bLast = nDone + cbBlock == raw.size();
        zlib.push_back(bLast ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(cbBlock));
        zlib.push_back(static_cast<uint8_t>(cbBlock >> 8));
        zlib.push_back(static_cast<uint8_t>(~cbBlock));
        zlib.push_back(static_cast<uint8_t>(~cbBlock >> 8));
        zlib.insert(zlib.end(), raw.begin() + nDone, raw.begin() + nDone + cbBlock);
        nDone += cbBlock;
    } while (nDone < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(zlib, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(image.nWidth));
    PutBigEndian(header, static_cast<uint32_t>(image.nHeight));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});

    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    bool bWritten = std::fwrite(png.data(), 1, png.size(), pFile) == png.size();
    return std::fclose(pFile) == 0 && bWritten;
}

void PumpMessages(DWORD nQuietMs, DWORD nDeadlineMs)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= nDeadlineMs)
            return;
        DWORD dwWait = nQuietMs < nDeadlineMs - dwElapsed ? nQuietMs : nDeadlineMs - dwElapsed;
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, dwWait, QS_ALLINPUT) == WAIT_TIMEOUT)
            return;
    }
}

}  // namespace qx::host
