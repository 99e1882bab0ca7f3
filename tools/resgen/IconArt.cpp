#include "engine/PomeClc.h"
#include "image/Palette.h"
#include "tools/resgen/ByteWriter.h"
#include "tools/resgen/ResGen.h"

namespace {

// The icon's view is fixed and a floating-point processor is taken as
// present, so the engine never needs to ask; should it ever, the icon is simply drawn in the type it proposes.
struct AcceptingPrompt : PrecisionPrompt {
    bool Confirm(NumericType, bool, const char*, unsigned) override { return true; }
};

}  // namespace

bool RenderIconImage(int32_t size, IconImage& icon, std::string& error) {
    ColourState colours;
    uint8_t table[kColourTableBytes] = {};
    GeneratePalette(colours, 32, table, 1);  // Fire; a 32-bit depth has no logical palette to realise

    DibImage image;
    if (!image.TryCreate(size, size, table)) {
        error = "cannot create a " + std::to_string(size) + " pixel image";
        return false;
    }
    CalcState state;
    CreateCalcState(state, &image);
    // Percentage colouring over a short, single pass: the escape counts of so
    // few pixels then spread over the whole palette, a glowing rim around a
    // black set, where modulo colouring would leave everything dark red.
    ColourParams percentage;
    percentage.ColourCount = colours.ColourCount;
    percentage.ColourMode = true;

    // The whole set: it reaches from -2 to about 0.47 on the real axis, so
    // the square is centred on -0.75.
    CoordinateSet view;
    view.RealMin = -2.15L;
    view.RealMax = 0.65L;
    view.ImagMin = -1.4L;
    view.ImagMax = 1.4L;
    view.Formula = FormulaKind::MandelbrotSet;
    // Smaller icons get fewer iterations: the rim stays bright on fewer pixels.
    view.IterEnd = size >= 32 ? 24 : 16;
    view.IterStart = view.IterEnd;
    view.IterInc = view.IterEnd;

    AcceptingPrompt prompt;
    RunSetUp(state, SetUpContext{prompt, true}, view, percentage, NumericType::FpuSingle);
    const bool ready = state.Status == SetUpStatus::Ready;
    if (ready) {
        CalculateToEnd(state);
        icon.size = size;
        icon.pixels.assign(static_cast<size_t>(size) * size, 0);
        for (int32_t y = 0; y < size; ++y) {
            PixelCursor cursor;
            image.StartRow(cursor, y);
            for (int32_t x = 0; x < size; ++x) icon.pixels[static_cast<size_t>(y) * size + x] = cursor.next[x];
        }
        icon.colourTable.assign(table, table + kColourTableBytes);
    } else {
        error = "the engine could not set up the icon's calculation";
    }
    ReleaseWorkBuffers(state);
    image.Release();
    return ready;
}

std::vector<uint8_t> IcoFile(const std::vector<IconImage>& images) {
    // Per image: header, colour table, the 8-bit picture and the 1-bit AND
    // mask, rows of both padded to four bytes and stored bottom-up.
    auto stride = [](int32_t width, int32_t bits) { return static_cast<uint32_t>((width * bits + 31) / 32 * 4); };
    auto imageBytes = [&](const IconImage& icon) {
        return 40 + 1024 + (stride(icon.size, 8) + stride(icon.size, 1)) * static_cast<uint32_t>(icon.size);
    };

    ByteWriter out;
    out.U16(0);
    out.U16(1);  // icon, not cursor
    out.U16(static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (const IconImage& icon : images) {
        out.U8(icon.size >= 256 ? 0 : icon.size);
        out.U8(icon.size >= 256 ? 0 : icon.size);
        out.U8(0);  // 256 colours
        out.U8(0);
        out.U16(1);  // planes
        out.U16(8);  // bits per pixel
        out.U32(imageBytes(icon));
        out.U32(offset);
        offset += imageBytes(icon);
    }
    for (const IconImage& icon : images) {
        const uint32_t xorStride = stride(icon.size, 8);
        const uint32_t andStride = stride(icon.size, 1);
        // The height counts the picture and the mask together.
        out.InfoHeader(icon.size, 2 * icon.size, 8, (xorStride + andStride) * icon.size, 256);
        out.Bytes(icon.colourTable.data(), icon.colourTable.size());
        for (int32_t y = icon.size - 1; y >= 0; --y) {
            std::vector<uint8_t> row(xorStride, 0);
            for (int32_t x = 0; x < icon.size; ++x) row[x] = icon.pixels[static_cast<size_t>(y) * icon.size + x];
            out.Bytes(row.data(), row.size());
        }
        const std::vector<uint8_t> opaque(static_cast<size_t>(andStride) * icon.size, 0);
        out.Bytes(opaque.data(), opaque.size());
    }
    return out.bytes;
}
