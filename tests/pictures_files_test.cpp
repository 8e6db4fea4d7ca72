#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ConvertSupport.h"
#include "support/LibpngDecode.h"

namespace quill {
namespace {

using std::string_literals::operator""s;
using test::Body;
using test::TempDir;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
const std::array<Rgb, 16> kColours = {{{0, 0, 0},
                                       {0, 0, 168},
                                       {168, 0, 0},
                                       {168, 0, 168},
                                       {0, 168, 0},
                                       {0, 168, 168},
                                       {168, 168, 0},
                                       {168, 168, 168},
                                       {16, 16, 16},
                                       {0, 0, 255},
                                       {255, 0, 0},
                                       {255, 0, 255},
                                       {0, 255, 0},
                                       {0, 255, 255},
                                       {255, 255, 0},
                                       {255, 255, 255}}};

// The picture files of a run: the classic page's PNG or BMP files, or the modern page's
// compact PNG files.
enum class TKind { Png, Bmp, Compact };
constexpr TKind kKinds[] = {TKind::Png, TKind::Bmp, TKind::Compact};
std::string Ext(TKind kind) {
    return kind == TKind::Bmp ? ".bmp" : ".png";
}

// A picture file as an independent reader sees it: colour indexes and the palette.
struct TPictureFile {
    int width = 0, height = 0;
    std::vector<std::vector<int>> index;  // [y][x]
    std::vector<Rgb> palette;
    std::vector<std::vector<uint8_t>> rawRows;  // BMP: the stored bytes of each row, top first
    bool compact = false;                       // a palette of only the colours shown
};

// A compact file has the fewest bits a pixel that its colours need.
TPictureFile ReadPng(const std::string& name, bool compact) {
    const test::TDecodedPng png = test::DecodeWithLibpng(name);
    TPictureFile f;
    f.width = static_cast<int>(png.Width);
    f.height = static_cast<int>(png.Height);
    f.compact = compact;
    EXPECT_EQ(png.ColorType, PNG_COLOR_TYPE_PALETTE) << name;
    for (const png_color& c : png.Palette) f.palette.push_back({c.red, c.green, c.blue});
    const int bits = png.BitDepth, colours = static_cast<int>(f.palette.size());
    EXPECT_EQ(bits, !compact ? 8 : colours <= 2 ? 1 : colours <= 4 ? 2 : 4) << name;
    for (const auto& row : png.Rows) {
        std::vector<int> line;
        for (int x = 0; x < f.width; ++x)
            line.push_back(row[static_cast<size_t>(x * bits / 8)] >> (8 - bits - x * bits % 8) &
                           ((1 << bits) - 1));
        f.index.push_back(line);
    }
    return f;
}

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<size_t>(i));
    return v;
}

// A checked reader of the uncompressed 4-bit BMP files the run writes.
TPictureFile ReadBmp(const std::string& name) {
    const test::Bytes b = test::ReadFileBytes(name);
    TPictureFile f;
    EXPECT_GE(b.size(), 54u + 64u);
    if (b.size() < 54 + 64) return f;
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(Le(b, 2, 4), b.size());
    const uint32_t offset = Le(b, 10, 4);
    EXPECT_EQ(Le(b, 14, 4), 40u);
    f.width = static_cast<int>(Le(b, 18, 4));
    const int32_t h = static_cast<int32_t>(Le(b, 22, 4));
    f.height = h < 0 ? -h : h;
    EXPECT_EQ(Le(b, 26, 2), 1u);  // planes
    EXPECT_EQ(Le(b, 28, 2), 4u);  // bits per pixel
    EXPECT_EQ(Le(b, 30, 4), 0u);  // no compression
    const uint32_t used = Le(b, 46, 4);
    EXPECT_TRUE(used == 0 || used == 16) << used;
    for (int i = 0; i < 16; ++i) {
        const size_t at = 54 + 4 * static_cast<size_t>(i);
        f.palette.push_back({b[at + 2], b[at + 1], b[at]});
    }
    const size_t stride = ((static_cast<size_t>(f.width) * 4 + 31) / 32) * 4;
    EXPECT_EQ(b.size(), offset + stride * static_cast<size_t>(f.height));
    if (b.size() < offset + stride * static_cast<size_t>(f.height)) return f;
    for (int y = 0; y < f.height; ++y) {
        const int stored = h < 0 ? y : f.height - 1 - y;
        const uint8_t* row = b.data() + offset + stride * static_cast<size_t>(stored);
        f.rawRows.emplace_back(row, row + stride);
        std::vector<int> line;
        for (int x = 0; x < f.width; ++x) line.push_back(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
        f.index.push_back(line);
    }
    return f;
}

TPictureFile Read(const std::string& name, TKind kind) {
    return kind == TKind::Bmp ? ReadBmp(name) : ReadPng(name, kind == TKind::Compact);
}

// The colour index of store pixel (x, y) for the given picture data, straight from the
// format's description: zero where no complete group reaches.
int StoreIndex(const std::string& data, int x, int y) {
    const size_t group = static_cast<size_t>(y / 8);
    if ((group + 1) * 288 > data.size() || group >= 128) return 0;
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(data[group * 288 + i]); };
    const uint8_t bits = byte(32 * static_cast<size_t>(y % 8) + static_cast<size_t>(x / 8));
    const uint8_t a = byte(256 + static_cast<size_t>(x / 8));
    const int bright = (a >> 6 & 1) * 8;
    const bool set = bits >> (7 - x % 8) & 1;
    return set ? (a & 7) + bright : (a >> 3 & 7) + bright;
}

std::string Row(int row) {
    return "\xff"s + static_cast<char>(128 + row) + "\r";
}

// Picture data of the given number of bytes, every byte different from its neighbours.
std::string Data(size_t size, unsigned seed = 1) {
    std::string d(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : d) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return d;
}

struct TRun {
    std::string page, error;
    int pictureFiles = 0;
    std::vector<std::string> files;  // picture files in the page's folder, by name
};

TRun Convert(const TempDir& dir, const std::string& document, TKind kind,
             const std::string& name = "obzor.txt", TCommitGate* gate = nullptr) {
    test::WriteFileBytes(dir.File(name), test::ToBytes(document));
    std::filesystem::create_directories(dir.Path() / "site");
    test::TSettings settings;
    settings.bmp = kind == TKind::Bmp;
    settings.run.Html5 = kind == TKind::Compact;
    settings.gate = gate;
    const auto out = test::ConvertFile(dir.File(name), dir.File("site/page.htm"), settings);
    TRun r{out.page, out.error, out.result.PictureFiles, {}};
    for (const auto& e : std::filesystem::directory_iterator(dir.Path() / "site"))
        if (e.path().filename() != "page.htm") r.files.push_back(e.path().filename().string());
    std::sort(r.files.begin(), r.files.end());
    return r;
}

// The colour pixel (x, y) of the file shows.
Rgb Colour(const TPictureFile& f, int x, int y) {
    return f.palette.at(
        static_cast<size_t>(f.index.at(static_cast<size_t>(y)).at(static_cast<size_t>(x))));
}

// The file shows store rows first..first+rows-1 of data, in the format's colours; the
// classic files' palettes begin with all sixteen, in their order.
void ExpectPicture(const TPictureFile& f, const std::string& data, int firstRow, int rows,
                   const std::string& what) {
    ASSERT_EQ(f.width, 256) << what;
    ASSERT_EQ(f.height, 8 * rows) << what;
    ASSERT_GE(f.palette.size(), f.compact ? 1u : 16u) << what;
    for (size_t i = 0; i < 16 && !f.compact; ++i) EXPECT_EQ(f.palette[i], kColours[i]) << what;
    int wrong = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < 256; ++x)
            wrong += Colour(f, x, y) !=
                     kColours[static_cast<size_t>(StoreIndex(data, x, 8 * firstRow + y))];
    EXPECT_EQ(wrong, 0) << what;
}

TEST(PictureFiles, WholeDocumentInBothFormats) {
    const std::string data = Data(576);
    const std::string document = "A\r" + Row(0) + Row(1) + "B\r\0"s + data;
    for (const TKind kind : kKinds) {
        TempDir dir;
        const TRun r = Convert(dir, document, kind);
        ASSERT_EQ(r.error, "");
        const std::string name = "1obzor" + Ext(kind);
        if (kind != TKind::Compact) {
            EXPECT_EQ(Body(r.page), "A\r\n<img src=\"" + name + "\" width=\"640\">\r\nB\r\n");
        }
        EXPECT_EQ(r.pictureFiles, 1);
        ASSERT_EQ(r.files, std::vector<std::string>{name});
        ExpectPicture(Read(dir.File("site/" + name), kind), data, 0, 2, name);
    }
}

TEST(PictureFiles, RunsRepeatsAndWhatGetsAFile) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::pair<int, int>> pictures;  // file n+1: first row, rows
        bool data = true;                           // picture data after a byte 0
    };
    const Case cases[] = {
        {"rows 5 to 7", Row(5) + Row(6) + Row(7) + "T\r", {{5, 3}}},
        {"5 then 7", Row(5) + Row(7) + "T\r", {{5, 1}, {7, 1}}},
        {"6 then 5", Row(6) + Row(5) + "T\r", {{6, 1}, {5, 1}}},
        {"repeat writes no second file",
         Row(5) + Row(6) + "T\r" + Row(5) + Row(6) + "U\r",
         {{5, 2}}},
        {"5-7 after 5-6 is new",
         Row(5) + Row(6) + "T\r" + Row(5) + Row(6) + Row(7) + "U\r",
         {{5, 2}, {5, 3}}},
        {"run open at the end of the file, no data",
         "T\r" + Row(2) + "U\r" + Row(3) + Row(4),
         {{2, 1}},
         false},
        {"byte 0 on a picture line", "T\r" + Row(2) + "U\r\xff\x83\0"s, {{2, 1}}},
        {"no picture lines", "T\r", {}},
        {"first and last rows", Row(0) + Row(127) + "\r", {{0, 1}, {127, 1}}},
    };
    const std::string data = Data(128 * 288, 7);
    for (const TKind kind : kKinds) {
        for (const Case& c : cases) {
            TempDir dir;
            const bool endsWithZero = c.text.back() == '\0';
            const std::string document =
                c.data ? c.text + (endsWithZero ? "" : "\0"s) + data : c.text;
            const TRun r = Convert(dir, document, kind);
            ASSERT_EQ(r.error, "") << c.what;
            EXPECT_EQ(r.pictureFiles, static_cast<int>(c.pictures.size())) << c.what;
            std::vector<std::string> expected;
            for (size_t n = 1; n <= c.pictures.size(); ++n)
                expected.push_back(std::to_string(n) + "obzor" + Ext(kind));
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(r.files, expected) << c.what;
            for (size_t n = 1; n <= c.pictures.size() && r.files == expected; ++n) {
                const std::string file =
                    dir.File("site/" + std::to_string(n) + "obzor" + Ext(kind));
                ExpectPicture(Read(file, kind), c.data ? data : "", c.pictures[n - 1].first,
                              c.pictures[n - 1].second, c.what + " #"s + std::to_string(n));
            }
        }
    }
}

TEST(PictureFiles, AmountOfPictureData) {
    struct Case {
        size_t bytes;
        int rowsDrawn;
    };
    // Up to 128 complete groups are drawn; more data is read and ignored.
    const Case cases[] = {{0, 0},   {287, 0},     {288, 1},           {575, 1},
                          {576, 2}, {36864, 128}, {36864 + 5000, 128}};
    for (const Case& c : cases) {
        for (const TKind kind : kKinds) {
            TempDir dir;
            const std::string data = Data(c.bytes, 3);
            const TRun r = Convert(
                dir,
                Row(0) + Row(1) + Row(2) + "\r" + Row(125) + Row(126) + Row(127) + "\r\0"s + data,
                kind);
            ASSERT_EQ(r.error, "") << c.bytes;
            ASSERT_EQ(r.pictureFiles, 2);
            const std::string ext = Ext(kind);
            const auto read = [&](const std::string& n) {
                return Read(dir.File("site/" + n + ext), kind);
            };
            const std::string what = std::to_string(c.bytes) + ext;
            ExpectPicture(read("1obzor"), data, 0, 3, what);
            ExpectPicture(read("2obzor"), data, 125, 3, what);
            // Undrawn rows are colour 0, drawn rows are not all 0 with this data.
            const TPictureFile first = read("1obzor");
            for (int row = 0; row < 3; ++row) {
                int nonZero = 0;
                for (int y = 8 * row; y < 8 * row + 8; ++y)
                    for (int x = 0; x < 256; ++x) nonZero += Colour(first, x, y) != kColours[0];
                EXPECT_EQ(nonZero > 0, row < c.rowsDrawn) << what << " row " << row;
            }
        }
    }
}

TEST(PictureFiles, AttributesAndPixelBits) {
    struct Case {
        uint8_t attribute;
        uint8_t pixels;
        std::array<int, 8> expected;  // colour indexes of the cell's first row
        std::array<uint8_t, 4> fourBit;
    };
    const Case cases[] = {
        {0x47, 0xF0, {15, 15, 15, 15, 8, 8, 8, 8}, {0xFF, 0xFF, 0x88, 0x88}},  // bright
        {0x87, 0xF0, {7, 7, 7, 7, 0, 0, 0, 0}, {0x77, 0x77, 0x00, 0x00}},      // bit 7 ignored
        {0x38, 0xF0, {0, 0, 0, 0, 7, 7, 7, 7}, {0x00, 0x00, 0x77, 0x77}},      // ink 0, paper 7
        {0x02, 0x81, {2, 0, 0, 0, 0, 0, 0, 2}, {0x20, 0x00, 0x00, 0x02}},
        {0x4A, 0x5A, {9, 10, 9, 10, 10, 9, 10, 9}, {0x9A, 0x9A, 0xA9, 0xA9}},
    };
    for (const Case& c : cases) {
        std::string data(288, '\0');
        data[3] = static_cast<char>(c.pixels);  // pixel row 0 of cell 3
        data[256 + 3] = static_cast<char>(c.attribute);
        for (const TKind kind : kKinds) {
            TempDir dir;
            const TRun r = Convert(dir, Row(0) + "\r\0"s + data, kind);
            ASSERT_EQ(r.error, "");
            const TPictureFile f = Read(dir.File("site/1obzor" + Ext(kind)), kind);
            ASSERT_EQ(f.height, 8);
            for (int k = 0; k < 8; ++k)
                EXPECT_EQ(Colour(f, 24 + k, 0), kColours[static_cast<size_t>(c.expected[k])])
                    << std::hex << int{c.attribute} << " k=" << k << Ext(kind);
            if (kind == TKind::Bmp) {
                for (int i = 0; i < 4; ++i)
                    EXPECT_EQ(f.rawRows[0][static_cast<size_t>(12 + i)],
                              c.fourBit[static_cast<size_t>(i)])
                        << std::hex << int{c.attribute};
            }
            ExpectPicture(f, data, 0, 1, Ext(kind));
        }
    }
}

// Refused when it is staged, or only when it is put in place (a folder made there just
// before): then the picture before it is in place, but never the page, which goes last.
TEST(PictureFiles, PictureThatCannotBeWrittenFailsTheRunAndKeepsTheEarlierFiles) {
    struct TFolderBeforeCommit : TCommitGate {
        std::string folder;
        void BeforeCommit(const std::vector<std::string>&) override {
            std::filesystem::create_directory(folder);
        }
    };
    for (const TKind kind : kKinds) {
        for (const bool atCommit : {false, true}) {
            TempDir dir;
            const std::string ext = Ext(kind);
            const std::string blocked = dir.File("site/2obzor" + ext);
            TFolderBeforeCommit gate;
            gate.folder = blocked;
            std::filesystem::create_directories(dir.Path() / "site");
            if (!atCommit) std::filesystem::create_directory(blocked);
            test::WriteFileBytes(dir.File("site/page.htm"), test::ToBytes("earlier page"));
            test::WriteFileBytes(dir.File("site/1obzor" + ext), test::ToBytes("earlier picture"));
            const std::string data = Data(4 * 288);
            const std::string document = Row(0) + "a\r" + Row(1) + "b\r" + Row(2) + "c\r\0"s + data;
            const TRun r = Convert(dir, document, kind, "obzor.txt", atCommit ? &gate : nullptr);
            EXPECT_EQ(r.error, (atCommit ? "Cannot write \"" : "Cannot create \"") + blocked +
                                   "\": Is a directory");
            EXPECT_EQ(r.page, "earlier page");
            EXPECT_EQ(test::ToString(test::ReadFileBytes(dir.File("site/1obzor" + ext))) ==
                          "earlier picture",
                      !atCommit);
            size_t entries = 0;
            for ([[maybe_unused]] const auto& e :
                 std::filesystem::directory_iterator(dir.File("site")))
                ++entries;
            EXPECT_EQ(entries, 3u);  // no other file, no temporary one left
            EXPECT_EQ(test::ToString(test::ReadFileBytes(dir.File("obzor.txt"))), document);
        }
    }
}

// Every picture of the documents, decoded by libpng: the compact file shows the classic
// file's colour at every pixel, in fewer bytes, and passes pngcheck.
TEST(PictureFiles, CompactPicturesShowTheClassicPixels) {
    std::string twoColours = Data(3 * 288, 5), fourColours = twoColours;
    for (int c = 0; c < 32; ++c) {
        twoColours[256 + c] = fourColours[256 + c] = 0x0F;                    // ink 7, paper 1
        fourColours[288 + 256 + c] = static_cast<char>(c % 2 ? 0x47 : 0x0F);  // and 15, 8
    }
    const std::string all = Data(128 * 288, 9);
    const std::string documents[] = {
        test::ToString(test::ReadFileBytes(std::string(QUILL_SOURCE_DIR) + "/examples/obzor.$w"))
            .substr(17),
        Row(0) + "a\r" + Row(0) + Row(1) + "\r" + Row(1) + Row(2) + "\r\0"s + twoColours,
        Row(0) + "\r" + Row(1) + "\r" + Row(0) + Row(1) + Row(2) + "\r\0"s + fourColours,
        Row(0) + "\r" + Row(5) + Row(6) + Row(7) + "\r" + Row(127) + "\r\0"s + all,
    };
    std::vector<std::string> checked;
    TempDir compact;
    for (const std::string& document : documents) {
        TempDir classic;
        std::filesystem::remove_all(compact.Path() / "site");
        const TRun c = Convert(classic, document, TKind::Png);
        const TRun m = Convert(compact, document, TKind::Compact);
        ASSERT_EQ(c.error + m.error, "");
        ASSERT_EQ(m.files, c.files);
        for (const std::string& name : c.files) {
            const std::string was = classic.File("site/" + name), is = compact.File("site/" + name);
            const test::TDecodedPng a = test::DecodeWithLibpng(was, PNG_TRANSFORM_EXPAND);
            const test::TDecodedPng b = test::DecodeWithLibpng(is, PNG_TRANSFORM_EXPAND);
            EXPECT_EQ(b.Width, a.Width) << name;
            EXPECT_TRUE(b.Rows == a.Rows) << name;
            EXPECT_LT(test::ReadFileBytes(is).size(), test::ReadFileBytes(was).size()) << name;
            ReadPng(is, true);
            checked.push_back(compact.File(std::to_string(checked.size()) + ".png"));
            std::filesystem::rename(is, checked.back());
        }
    }
    EXPECT_EQ(test::PngcheckErrors(checked), "");
}

TEST(PictureFiles, PicturesGoBesideThePageNotTheCurrentFolder) {
    TempDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::create_directories(dir.Path() / "mag.old");
    const TRun ok = Convert(dir, "0123456789abcdefg" + Row(4) + "\r\0"s + Data(288 * 5), TKind::Png,
                            "mag.old/obzor.$w");
    ASSERT_EQ(ok.error, "");
    EXPECT_EQ(ok.files, std::vector<std::string>{"1obzor.png"});
    EXPECT_EQ(Body(ok.page), "<img src=\"1obzor.png\" width=\"640\">\r\n\r\n");
    EXPECT_FALSE(std::filesystem::exists(cwd / "1obzor.png"));
}

TEST(PictureFiles, PictureFileThatIsTheDocumentIsRefused) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "site");
    const std::string document = Row(0) + "a\r\0"s + Data(288);
    test::WriteFileBytes(dir.File("obzor.txt"), test::ToBytes(document));
    std::filesystem::create_hard_link(dir.File("obzor.txt"), dir.File("site/1obzor.png"));
    const auto out = test::ConvertFile(dir.File("obzor.txt"), dir.File("site/page.htm"));
    EXPECT_EQ(out.error, "Cannot create \"" + dir.File("site/1obzor.png") +
                             "\": it is the input document \"" + dir.File("obzor.txt") + "\"");
    EXPECT_EQ(test::ToString(test::ReadFileBytes(dir.File("obzor.txt"))), document);
}

}  // namespace
}  // namespace quill
