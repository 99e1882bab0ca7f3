#include <cstring>

#include "image/DibSect.h"
#include "image/FileReplace.h"

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kPixelOffset = kFileHeaderBytes + sizeof(BitmapInfo256);  // 1078

void PutLittleEndian32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

bool DibImage::SaveAsBmp(const char* fileName) const {
    if (pixels == nullptr) return false;
    const size_t pixelBytes = PixelBytes();

    uint8_t fileHeader[kFileHeaderBytes] = {};
    fileHeader[0] = 'B';
    fileHeader[1] = 'M';
    PutLittleEndian32(fileHeader + 2, static_cast<uint32_t>(kPixelOffset + pixelBytes));
    PutLittleEndian32(fileHeader + 10, kPixelOffset);

    // The file is written beside the target and replaces it only when it is
    // complete, so a failed export leaves an existing file as it was.
    ReplacementFile out;
    if (!OpenReplacement(fileName, out)) return false;
    const bool written = std::fwrite(fileHeader, 1, kFileHeaderBytes, out.file) == kFileHeaderBytes &&
                         std::fwrite(&info, 1, sizeof info, out.file) == sizeof info &&
                         std::fwrite(pixels, 1, pixelBytes, out.file) == pixelBytes;
    if (!written) {
        AbandonReplacement(out);
        return false;
    }
    return CommitReplacement(out);
}
