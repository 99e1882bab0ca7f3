#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "image/DibSect.h"
#include "image/Palette.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const fs::path& path) {
    const auto bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

uint32_t U32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// A distinct colour for every index.
std::vector<uint8_t> DistinctTable() {
    std::vector<uint8_t> table(kColourTableBytes);
    for (int i = 0; i < 256; ++i) {
        table[4 * i + 0] = static_cast<uint8_t>(255 - i);  // blue
        table[4 * i + 1] = static_cast<uint8_t>(i * 37);   // green
        table[4 * i + 2] = static_cast<uint8_t>(i);        // red
    }
    return table;
}

class BmpExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quaxel-bmp-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        image.Release();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // Every pixel gets an index from its position, written through the cursor.
    void Paint(int32_t width, int32_t height, const uint8_t* table) {
        image.Create(width, height, table);
        for (int32_t row = 0; row < height; ++row) {
            PixelCursor cursor;
            image.StartRow(cursor, row);
            for (int32_t x = 0; x < width; ++x) PutPixel(cursor, IndexAt(x, row));
        }
    }
    static uint8_t IndexAt(int32_t x, int32_t row) { return static_cast<uint8_t>(x * 7 + row * 13); }

    fs::path folder;
    DibImage image;
};

TEST_F(BmpExportTest, FileOf400By300) {
    const auto table = DistinctTable();
    Paint(400, 300, table.data());
    const fs::path file = folder / "image.bmp";
    ASSERT_TRUE(image.SaveAsBmp(file.c_str()));

    const auto bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 121078u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(U32(bytes, 2), 121078u);  // file size
    EXPECT_EQ(U32(bytes, 6), 0u);       // both reserved words
    EXPECT_EQ(U32(bytes, 10), 1078u);   // pixel data offset
    EXPECT_EQ(U32(bytes, 14), 40u);     // header size
    EXPECT_EQ(U32(bytes, 18), 400u);
    EXPECT_EQ(U32(bytes, 22), 300u);    // positive: bottom-up
    EXPECT_EQ(bytes[26], 1);            // planes
    EXPECT_EQ(bytes[27], 0);
    EXPECT_EQ(bytes[28], 8);            // bits per pixel
    EXPECT_EQ(bytes[29], 0);
    for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(U32(bytes, at), 0u) << "offset " << at;
    EXPECT_EQ(std::memcmp(bytes.data() + 54, table.data(), kColourTableBytes), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 14, &image.info, 1064), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 1078, image.pixels, 120000), 0);
    // Bottom row first: the file's first pixel row is the image's row 299.
    EXPECT_EQ(bytes[1078 + 5], IndexAt(5, 299));
    EXPECT_EQ(bytes[1078 + 299 * 400 + 5], IndexAt(5, 0));
}

TEST_F(BmpExportTest, FileOf401By300KeepsTheRowPaddingAsInMemory) {
    const auto table = DistinctTable();
    Paint(401, 300, table.data());
    ASSERT_EQ(image.stride, 404);
    // Whatever the padding holds goes out unchanged.
    for (int32_t r = 0; r < 300; ++r)
        for (int p = 401; p < 404; ++p) image.pixels[r * 404 + p] = static_cast<uint8_t>(0xA0 + p - 401);

    const fs::path file = folder / "wide.bmp";
    ASSERT_TRUE(image.SaveAsBmp(file.c_str()));
    const auto bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 122278u);
    EXPECT_EQ(U32(bytes, 2), 122278u);
    EXPECT_EQ(U32(bytes, 10), 1078u);
    EXPECT_EQ(U32(bytes, 18), 401u);
    EXPECT_EQ(U32(bytes, 34), 0u);  // image size field stays 0
    EXPECT_EQ(bytes[28], 8);
    EXPECT_EQ(std::memcmp(bytes.data() + 1078, image.pixels, 121200), 0);
    EXPECT_EQ(bytes[1078 + 400], IndexAt(400, 299));
    EXPECT_EQ(bytes[1078 + 401], 0xA0);
    EXPECT_EQ(bytes[1078 + 403], 0xA2);
    EXPECT_EQ(bytes[1078 + 299 * 404 + 403], 0xA2);
    EXPECT_EQ(NamesIn(folder), std::set<std::string>{"wide.bmp"});
}

TEST_F(BmpExportTest, ImageMagickDecodesTheSameColours) {
    // The stand-in at /usr/local/bin/convert is not a decoder: ask the real one.
    const char* convert = "/usr/bin/convert";
    if (access(convert, X_OK) != 0) GTEST_SKIP() << "ImageMagick is not installed";
    {
        FILE* version = popen("/usr/bin/convert -version 2>/dev/null", "r");
        ASSERT_NE(version, nullptr);
        char line[256] = {};
        const bool read = std::fgets(line, sizeof line, version) != nullptr;
        pclose(version);
        if (!read || std::strstr(line, "ImageMagick") == nullptr) GTEST_SKIP() << convert << " is not ImageMagick";
    }

    uint8_t table[kColourTableBytes];
    ColourState palette;  // a depth of 0: no logical palette
    GeneratePalette(palette, 0, table, 1);  // Fire: every index a different colour
    Paint(401, 300, table);
    const fs::path file = folder / "decoded.bmp";
    ASSERT_TRUE(image.SaveAsBmp(file.c_str()));

    const std::string command = std::string(convert) + " '" + file.string() + "' -depth 8 rgb:-";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<uint8_t> rgb(401 * 300 * 3 + 1);
    const size_t got = std::fread(rgb.data(), 1, rgb.size(), pipe);
    ASSERT_EQ(pclose(pipe), 0);
    ASSERT_EQ(got, 401u * 300 * 3);

    // Decoded top row first, three bytes per pixel, no padding.
    for (int32_t row = 0; row < 300; ++row) {
        for (int32_t x = 0; x < 401; ++x) {
            const uint8_t index = IndexAt(x, row);
            const uint8_t* pixel = rgb.data() + 3 * (row * 401 + x);
            ASSERT_EQ(pixel[0], table[4 * index + 2]) << x << "," << row;
            ASSERT_EQ(pixel[1], table[4 * index + 1]) << x << "," << row;
            ASSERT_EQ(pixel[2], table[4 * index + 0]) << x << "," << row;
        }
    }
}

TEST_F(BmpExportTest, ReplacesAnExistingFileAndKeepsItsPermissions) {
    const auto table = DistinctTable();
    Paint(8, 2, table.data());
    const fs::path file = folder / "old.bmp";
    WriteFile(file, "old contents");
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);

    ASSERT_TRUE(image.SaveAsBmp(file.c_str()));
    EXPECT_EQ(ReadFile(file).size(), 1078u + 16);
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(NamesIn(folder), std::set<std::string>{"old.bmp"});
}

TEST_F(BmpExportTest, WritesThroughASymbolicLink) {
    const auto table = DistinctTable();
    Paint(8, 2, table.data());
    const fs::path target = folder / "target.bmp";
    const fs::path link = folder / "link.bmp";
    WriteFile(target, "old contents");
    fs::create_symlink(target, link);

    ASSERT_TRUE(image.SaveAsBmp(link.c_str()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target).size(), 1078u + 16);
    EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"link.bmp", "target.bmp"}));
}

TEST_F(BmpExportTest, UncreatableFilesFailAndLeaveNothingBehind) {
    const auto table = DistinctTable();
    Paint(8, 2, table.data());
    WriteFile(folder / "plain.txt", "a plain file");
    fs::create_directory(folder / "sub");
    WriteFile(folder / "sub" / "inside.txt", "inside");

    // Tests run as root, so permissions would not stop a write: use paths
    // that no one can create.
    EXPECT_FALSE(image.SaveAsBmp((folder / "plain.txt" / "out.bmp").c_str()));  // parent is a file
    EXPECT_FALSE(image.SaveAsBmp((folder / "missing" / "out.bmp").c_str()));    // parent is missing
    EXPECT_FALSE(image.SaveAsBmp((folder / "sub").c_str()));                    // path is a folder
    EXPECT_FALSE(image.SaveAsBmp((folder / "sub/").c_str()));
    EXPECT_FALSE(image.SaveAsBmp(""));
    EXPECT_FALSE(image.SaveAsBmp(nullptr));

    EXPECT_EQ(ReadText(folder / "plain.txt"), "a plain file");
    EXPECT_TRUE(fs::is_directory(folder / "sub"));
    EXPECT_EQ(NamesIn(folder / "sub"), std::set<std::string>{"inside.txt"});
    EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"plain.txt", "sub"}));
}

// Limits the size of files this process may write, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);  // report EFBIG instead of ending the process
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limit = previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

TEST_F(BmpExportTest, FailedWriteLeavesTheExistingFileUntouched) {
    const auto table = DistinctTable();
    Paint(400, 300, table.data());
    const fs::path file = folder / "keep.bmp";
    WriteFile(file, "the previous export");

    // Cut off within the file header, the colour table, the pixels and the
    // last buffered bytes before closing.
    for (rlim_t limit : {rlim_t{10}, rlim_t{1000}, rlim_t{50000}, rlim_t{121077}}) {
        bool saved = true;
        {
            FileSizeLimit cut(limit);
            saved = image.SaveAsBmp(file.c_str());
        }
        EXPECT_FALSE(saved) << "limit " << limit;
        EXPECT_EQ(ReadText(file), "the previous export") << "limit " << limit;
        EXPECT_EQ(NamesIn(folder), std::set<std::string>{"keep.bmp"}) << "limit " << limit;
    }
    // A new file that cannot be completed is not left half-written either.
    {
        FileSizeLimit cut(50000);
        EXPECT_FALSE(image.SaveAsBmp((folder / "new.bmp").c_str()));
    }
    EXPECT_EQ(NamesIn(folder), std::set<std::string>{"keep.bmp"});

    // Enough room: the export goes through.
    {
        FileSizeLimit cut(121078);
        EXPECT_TRUE(image.SaveAsBmp(file.c_str()));
    }
    EXPECT_EQ(ReadFile(file).size(), 121078u);
}

TEST_F(BmpExportTest, ImageWithoutPixelsIsNotExported) {
    DibImage empty;
    const fs::path file = folder / "empty.bmp";
    EXPECT_FALSE(empty.SaveAsBmp(file.c_str()));
    EXPECT_FALSE(fs::exists(file));
}

}  // namespace
