// Little-endian file images, independent of the build machine's byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ByteWriter {
    std::vector<uint8_t> bytes;

    void U8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v & 0xFF);
        U8(v >> 8 & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Bytes(const void* data, size_t count) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + count);
    }
    void Quad(uint8_t red, uint8_t green, uint8_t blue) {
        U8(blue);
        U8(green);
        U8(red);
        U8(0);
    }
    // BITMAPINFOHEADER of an uncompressed bitmap.
    void InfoHeader(int32_t width, int32_t height, uint16_t bitCount, uint32_t imageBytes, uint32_t coloursUsed) {
        U32(40);
        U32(static_cast<uint32_t>(width));
        U32(static_cast<uint32_t>(height));
        U16(1);
        U16(bitCount);
        U32(0);  // BI_RGB
        U32(imageBytes);
        U32(0);
        U32(0);
        U32(coloursUsed);
        U32(0);
    }
};
