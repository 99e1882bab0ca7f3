// The renderer's image files. A PNG holds the BMP's pixels: natively an 8-bit
// indexed PNG through libpng with the colour table as its palette; in the
// Windows builds RGB through stb_image_write (libpng is not built for
// mingw-w64), the same colours pixel for pixel.
#include <cerrno>
#include <cstring>
#include <vector>

#include "image/FileReplace.h"
#include "tools/render/Render.h"

#ifdef _WIN32
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>
#pragma GCC diagnostic pop
#else
#include <png.h>
#endif

namespace {

const uint8_t* TopRow(const DibImage& image, int32_t y) {
    return image.pixels + static_cast<size_t>(image.height - 1 - y) * static_cast<size_t>(image.stride);
}

#ifdef _WIN32

struct Sink {
    std::FILE* file;
    bool failed;
};

void WriteChunk(void* context, void* data, int size) {
    Sink* sink = static_cast<Sink*>(context);
    if (size > 0 && std::fwrite(data, 1, static_cast<size_t>(size), sink->file) != static_cast<size_t>(size))
        sink->failed = true;
}

bool WritePng(const DibImage& image, std::FILE* file) {
    const size_t rowBytes = static_cast<size_t>(image.width) * 3;
    std::vector<uint8_t> rgb(rowBytes * static_cast<size_t>(image.height));
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = TopRow(image, y);
        uint8_t* out = rgb.data() + rowBytes * static_cast<size_t>(y);
        for (int32_t x = 0; x < image.width; ++x) {
            const RgbQuad& c = image.info.colours[row[x]];
            *out++ = c.rgbRed;
            *out++ = c.rgbGreen;
            *out++ = c.rgbBlue;
        }
    }
    Sink sink{file, false};
    const int ok = stbi_write_png_to_func(&WriteChunk, &sink, image.width, image.height, 3, rgb.data(),
                                          static_cast<int>(rowBytes));
    return ok != 0 && !sink.failed;
}

#else

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

#endif

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
    ReplacementFile out;
    errno = 0;
    if (!OpenReplacement(path.c_str(), out)) {
        error = "cannot write " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    errno = 0;
    if (!WritePng(image, out.file)) {
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
