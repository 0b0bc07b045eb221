// FrameConversion: the one pixel conversion of video capture. Every device layer hands over
// 24-bit BGR rows (three bytes B, G, R per pixel, rows possibly padded, top or bottom row
// first); sources hand out RGBA8888 pictures, top row first, rows of exactly width * 4 bytes,
// alpha 255. Pure functions, callable from any thread.
//
// Plain C++ without Qt, so the Windows device layers and their cross-compiled checks share it.
// Sizes are long long, the type Qt's qsizetype is on every 64-bit target.
#pragma once

// Row stride of a 24-bit sample whose layout is only known by its length: length / height,
// never less than width * 3 (rows of a bitmap are padded to four bytes). 0 when width or
// height is below 1.
long long bgr24RowStride(long long sampleLength, int width, int height);

// Converts one sample into dst (width * height * 4 bytes). Source row r starts at
// src + r * srcStride. With sourceTopDown the sample's first row is the top row; flip inverts
// that. Returns false, leaving dst untouched, when the sample cannot hold width * height
// pixels at that stride, or when a size or pointer is invalid.
bool convertBgr24ToRgba(const unsigned char *src, long long srcLength, long long srcStride, int width,
                        int height, bool sourceTopDown, bool flip, unsigned char *dst);

// One row, width pixels, on the fastest path this processor has (SSSE3 on x86).
void convertBgr24RowToRgba(const unsigned char *src, unsigned char *dst, int width);
// The portable path, four pixels per step in 32-bit words; used where SSSE3 is missing.
void convertBgr24RowToRgbaWords(const unsigned char *src, unsigned char *dst, int width);
// A byte at a time: the reference the other paths are checked against.
void convertBgr24RowToRgbaPlain(const unsigned char *src, unsigned char *dst, int width);
