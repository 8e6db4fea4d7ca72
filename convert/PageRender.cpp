#include "convert/PageRender.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "convert/ConsoleFont866.h"
#include "convert/LineRules.h"
#include "convert/PageLiterals.h"
#include "convert/PictureStore.h"

namespace quill {

namespace {

constexpr size_t kHeaderBytes = 17;
constexpr int kGlyphHeight = 16;

// The page's colours after the pictures' sixteen: background, text, the seven codes'.
constexpr std::array<TPaletteEntry, 9> kDarkPage = {{
    {0, 0, 0, 0},
    {0x00, 0xcc, 0xcc, 0},
    {0x00, 0x00, 0xcc, 0},
    {0xcc, 0x00, 0x00, 0},
    {0xcc, 0x00, 0xcc, 0},
    {0x00, 0xcc, 0x00, 0},
    {0x00, 0xcc, 0xcc, 0},
    {0xcc, 0xcc, 0x00, 0},
    {0xcc, 0xcc, 0xcc, 0},
}};
constexpr TPaletteEntry kWhite = {255, 255, 255, 0};
constexpr TPaletteEntry kBlack = {0, 0, 0, 0};

// What the page holds, in order: a text line or a picture.
struct TItem {
    std::string_view Line;  // a text line, its terminator included; empty: a picture
    size_t ColourAt = 0;    // the byte of a line colour, counted as 8; Line.size(): none
    int FirstRow = 0;       // a picture's character rows in the store
    int RowCount = 0;
};

class TRenderer {
  public:
    TRenderer(const TPageLook& look, std::string_view data, int halvings)
        : look_(look),
          data_(data),
          shift_(halvings),
          rowHeight_(look.Pitch42 ? 25 : 17),
          pictureWidth_(look.Scale == 0 ? 640 : kStoreWidth * look.Scale) {}

    int RowHeight() const { return rowHeight_; }
    int Height(const TItem& item) const {
        return item.RowCount == 0 ? rowHeight_ : 8 * item.RowCount * pictureWidth_ / kStoreWidth;
    }

    void Draw(TBitmap& bitmap, const TItem& item, int top) const {
        if (item.RowCount == 0)
            DrawText(bitmap, item, top);
        else
            DrawPicture(bitmap, item, top);
    }

  private:
    void DrawText(TBitmap& bitmap, const TItem& item, int top) const {
        // The code of the open span; 0: none.
        int open = item.ColourAt < item.Line.size() ? item.Line[item.ColourAt] : 0;
        int column = 0;
        for (size_t i = 0; i < item.Line.size() && column < kRenderColumns; ++i) {
            const uint8_t b = i == item.ColourAt ? 8 : static_cast<uint8_t>(item.Line[i]);
            if (b == 0 || b == 13) break;
            if (b == 10) {
                open = 0;
            } else if (b <= 8) {
                open = 0;
                ++column;  // the code's space, outside any span
                if (b <= 7) open = b;
            } else if (b == '\t') {
                const int next = (column / 8 + 1) * 8;
                while (column < next && column < kRenderColumns)
                    DrawCell(bitmap, top, column++, -1, open);
            } else {
                DrawCell(bitmap, top, column++, b == 127 ? font::kCopyrightGlyph : b, open);
            }
        }
    }

    // One cell of text in the colour of the open span; glyph -1: blank.
    void DrawCell(TBitmap& bitmap, int top, int column, int glyph, int open) const {
        const uint8_t ink = static_cast<uint8_t>(look_.ColourSpans ? kText + open : kText);
        // The style tags with an underline: codes 1, 2, 3 and 7.
        const bool underline = !look_.ColourSpans && open != 0 &&
                               page::StyleOpeners[static_cast<size_t>(open)].ends_with("<U>");
        const int y0 = top + (rowHeight_ - kGlyphHeight) / 2;
        for (int r = 0; r < kGlyphHeight; ++r) {
            const int y = y0 + r;
            if (!Drawn(y)) continue;
            if (y >> shift_ >= bitmap.Height()) return;
            uint8_t bits = 0;
            if (glyph >= 0) {
                const auto& words = font::kConsoleFont866[static_cast<size_t>(glyph)];
                bits = static_cast<uint8_t>(words[r / 8] >> (56 - 8 * (r % 8)));
            }
            if (underline && r == kGlyphHeight - 1) bits = 0xFF;
            if (bits == 0) continue;
            uint8_t* line = bitmap.ScanLine(y >> shift_);
            for (int k = 0; k < 8; k += 1 << shift_)
                if (bits & (0x80 >> k)) line[(8 * column + k) >> shift_] = ink;
        }
    }

    void DrawPicture(TBitmap& bitmap, const TItem& item, int top) const {
        const int height = Height(item);
        for (int y = 0; y < height && (top + y) >> shift_ < bitmap.Height(); ++y) {
            if (!Drawn(top + y)) continue;
            uint8_t* line = bitmap.ScanLine((top + y) >> shift_);
            const int sy = 8 * item.FirstRow + y * kStoreWidth / pictureWidth_;
            // Colour 0 where no complete group of data reaches.
            const size_t group = static_cast<size_t>(sy / 8);
            if ((group + 1) * kGroupBytes > data_.size() || group >= kStoreRows) {
                std::fill_n(line, columns_.size(), uint8_t{0});
                continue;
            }
            const auto* g = reinterpret_cast<const uint8_t*>(data_.data()) + group * kGroupBytes;
            const uint8_t* bits = g + static_cast<size_t>(sy % 8) * kCellsPerRow;
            for (size_t x = 0; x < columns_.size(); ++x) {
                const int sx = columns_[x];
                const auto [ink, paper] = CellColours(g[8 * kCellsPerRow + sx / 8]);
                line[x] = (bits[sx / 8] & (0x80 >> (sx % 8))) ? ink : paper;
            }
        }
    }

    // The store column of each drawn column of a picture.
    std::vector<int> PictureColumns() const {
        std::vector<int> columns;
        for (int x = 0; x < std::min(pictureWidth_, kRenderWidth); x += 1 << shift_)
            columns.push_back(x * kStoreWidth / pictureWidth_);
        return columns;
    }

    const TPageLook look_;
    const std::string_view data_;
    // Pixels of the full page whose coordinates are multiples of 2^shift_ are drawn, at
    // those coordinates shifted right.
    bool Drawn(int y) const { return (y & ((1 << shift_) - 1)) == 0; }
    const int shift_;
    const int rowHeight_;
    const int pictureWidth_;
    const std::vector<int> columns_ = PictureColumns();
};

// The text part as the page holds it: its text lines and its finished pictures, in order,
// until limit pixels are filled.
std::vector<TItem> Layout(std::string_view text, const TRenderer& renderer, int limit) {
    std::vector<TItem> items;
    TItem run;  // the picture being collected
    int height = 0;
    while (!text.empty() && height < limit) {
        const size_t end = text.find_first_of(std::string_view("\r\0", 2));
        const size_t size = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(0, size);
        text.remove_prefix(size);
        const bool picture =
            line.size() >= 2 &&
            lines::IsPictureLine(static_cast<uint8_t>(line[0]), static_cast<uint8_t>(line[1]));
        const int row = picture ? lines::PictureRow(static_cast<uint8_t>(line[1])) : 0;
        if (run.RowCount != 0 && !(picture && row == run.FirstRow + run.RowCount)) {
            items.push_back(run);
            height += renderer.Height(run);
            run = TItem{};
        }
        if (picture) {
            if (run.RowCount == 0) run.FirstRow = row;
            ++run.RowCount;
        } else if (line != std::string_view("\0", 1)) {
            TItem item{.Line = line, .ColourAt = line.size()};
            if (line.size() >= 2 &&
                lines::IsColourCode(static_cast<uint8_t>(line[line.size() - 2])))
                item.ColourAt = line.size() - 2;
            items.push_back(item);
            height += renderer.RowHeight();
        }
        if (line.back() == '\0') break;
    }
    return items;
}

}  // namespace

std::unique_ptr<TBitmap> RenderPage(std::string_view document, const TPageLook& look, int rows,
                                    int halvings) {
    if (look.SkipHeader) document.remove_prefix(std::min(document.size(), kHeaderBytes));
    const size_t zero = document.find('\0');
    const std::string_view text =
        document.substr(0, zero == std::string_view::npos ? zero : zero + 1);
    const std::string_view data =
        zero == std::string_view::npos ? std::string_view() : document.substr(zero + 1);
    const TRenderer renderer(look, data, halvings);
    const int limit = rows > 0 ? rows * renderer.RowHeight() : kMaxRenderHeight;
    const std::vector<TItem> items = Layout(text, renderer, limit);
    int height = 0;
    for (const TItem& item : items) height += renderer.Height(item);

    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf8bit);
    const int fullHeight = rows > 0 ? limit : std::clamp(height, 1, limit);
    bitmap->SetSize(kRenderWidth >> halvings, std::max(1, fullHeight >> halvings));
    TLogPalette palette;
    palette.palPalEntry.assign(PaletteColours.begin(), PaletteColours.end());
    palette.palPalEntry.insert(palette.palPalEntry.end(), kDarkPage.begin(), kDarkPage.end());
    if (!look.ColourSpans) {
        palette.palPalEntry[kBackground] = kWhite;
        palette.palPalEntry[kText] = kBlack;
    }
    bitmap->SetPalette(CreatePalette(palette));
    for (int y = 0; y < bitmap->Height(); ++y)
        std::fill_n(bitmap->ScanLine(y), bitmap->Width(), static_cast<uint8_t>(kBackground));
    int top = 0;
    for (const TItem& item : items) {
        renderer.Draw(*bitmap, item, top);
        top += renderer.Height(item);
    }
    return bitmap;
}

}  // namespace quill
