// The renderer's image files, through libpng on every platform (the Windows
// builds link the one tools/mplibs cross-builds). A PNG of the program's
// colours holds the BMP's pixels: 8-bit indexed, the colour table as its
// palette. Smooth colouring and supersampling write RGB, 8 or 16 bits a
// channel.
#include <cerrno>
#include <cstring>
#include <vector>

#include <png.h>

#include "image/FileReplace.h"
#include "tools/render/Render.h"

namespace {

const uint8_t* TopRow(const DibImage& image, int32_t y) {
    return image.pixels + static_cast<size_t>(image.height - 1 - y) * static_cast<size_t>(image.stride);
}

[[noreturn]] void PngFailed(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// No C++ object with a destructor lives in this frame: libpng leaves it by
// longjmp when a write fails.
bool WritePngRows(png_structp png, png_infop info, const DibImage& image, std::FILE* file, int colours,
                  const png_color* palette) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette, colours);
    // Palette indices gain nothing from the byte filters, and skipping them
    // is faster.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    for (int32_t y = 0; y < image.height; ++y) png_write_row(png, TopRow(image, y));
    png_write_end(png, nullptr);
    return true;
}

bool WritePng(const DibImage& image, std::FILE* file) {
    // The palette holds the entries up to the highest index used.
    int colours = 1;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = TopRow(image, y);
        for (int32_t x = 0; x < image.width; ++x) colours = std::max(colours, row[x] + 1);
    }
    png_color palette[kColourTableEntries];
    for (int i = 0; i < kColourTableEntries; ++i) {
        palette[i] = png_color{image.info.colours[i].rgbRed, image.info.colours[i].rgbGreen, image.info.colours[i].rgbBlue};
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &PngFailed, &PngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    const bool ok = info != nullptr && WritePngRows(png, info, image, file, colours, palette);
    png_destroy_write_struct(&png, &info);
    return ok;
}

bool WriteRgbRows(png_structp png, png_infop info, const RgbImage& image, std::FILE* file, uint8_t* row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                 image.depth, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t samples = static_cast<size_t>(image.width) * 3;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint16_t* in = image.samples.data() + samples * static_cast<size_t>(y);
        // PNG's 16-bit samples are big-endian whatever the machine.
        if (image.depth == 16) {
            for (size_t k = 0; k < samples; ++k) {
                row[2 * k] = static_cast<uint8_t>(in[k] >> 8);
                row[2 * k + 1] = static_cast<uint8_t>(in[k] & 0xFF);
            }
        } else {
            for (size_t k = 0; k < samples; ++k) row[k] = static_cast<uint8_t>(in[k]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    return true;
}

bool WriteRgbPng(const RgbImage& image, std::FILE* file) {
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * 3 * (image.depth == 16 ? 2 : 1));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &PngFailed, &PngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    const bool ok = info != nullptr && WriteRgbRows(png, info, image, file, row.data());
    png_destroy_write_struct(&png, &info);
    return ok;
}

template <typename Write>
bool WriteReplacing(const std::string& path, std::string& error, Write write) {
    ReplacementFile out;
    errno = 0;
    if (!OpenReplacement(path.c_str(), out)) {
        error = "cannot write " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    errno = 0;
    if (!write(out.file)) {
        const int reason = errno;
        AbandonReplacement(out);
        error = "cannot write " + path + (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string());
        return false;
    }
    if (!CommitReplacement(out)) {
        error = "cannot write " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    return true;
}

}  // namespace

bool HasPngExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == ".png";
}

bool WriteImageFile(const DibImage& image, const std::string& path, std::string& error) {
    if (!HasPngExtension(path)) {
        errno = 0;
        if (image.SaveAsBmp(path.c_str())) return true;
        error = "cannot write " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    return WriteReplacing(path, error, [&image](std::FILE* file) { return WritePng(image, file); });
}

bool WriteRgbImageFile(const RgbImage& image, const std::string& path, std::string& error) {
    return WriteReplacing(path, error, [&image](std::FILE* file) { return WriteRgbPng(image, file); });
}
