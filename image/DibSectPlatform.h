// The bitmap section behind DibImage: CreateDIBSection in the Windows builds,
// a zeroed heap block in the native build.
#pragma once

#include "image/DibSect.h"

// Creates pixel memory of `bytes` bytes for the bitmap described by `info`.
// Returns false (and leaves the outputs null) when it cannot.
bool CreateBitmapSection(const BitmapInfo256& info, size_t bytes, uint8_t** pixels, HBITMAP__** bitmap);
void DeleteBitmapSection(HBITMAP__* bitmap, uint8_t* pixels);
