#pragma once

#include <memory>
#include <string_view>

#include "platform/Bitmap.h"

namespace quill {

// What of a page's options changes how it looks.
struct TPageLook {
    bool ColourSpans = false;  // the dark page with coloured spans ("use colors", or the
                               // second program); else black text on white, style tags
    bool Pitch42 = false;      // rows of 25 pixels; else 17
    int Scale = 0;             // pictures 256 x Scale pixels wide; 0: 640
    bool SkipHeader = false;   // the document begins with the 17-byte header
};

// The page as a screen of 80 columns shows it, as one palette bitmap (8 bits a pixel):
// the text of a document in the cp866 console font, 8 x 16 pixels a character, in the
// page's colours, and its pictures in place.
//
// - A text line is a row of 17 pixels (25 with "42 pitch"), its glyphs at the top (4
//   pixels down in a 25-pixel row). A colour code 1 to 8 takes one cell as a space; a tab
//   goes on to the next multiple of 8 columns; LF takes none; byte 127 is a copyright
//   sign, control bytes are the DOS screen's symbols. Text past column 80 is not shown.
// - Colours, by palette index: 0-15 the pictures' PaletteColours, kBackground the page
//   (black, or white), kText its text (#00cccc, or black), kText + k colour code k (the
//   page's seven class colours; on the light page the codes' style tags do not change
//   the colour, and those with an underline draw one in each cell's last row). The
//   glyphs have the two-pixel strokes of a DOS screen, bold or not.
// - A picture is where its image line stands, as wide as the page shows it: 640 pixels
//   (80 columns) for the 256 pixels of a picture, each of its pixels 2.5 screen pixels
//   wide and high, taken nearest (20 pixels a character row); 256 x Scale with Scale.
//   A picture wider than 640 pixels is cut at the right.
// - The rules are the modern page's: no line colour on picture lines, nothing left open.
//
// rows: the first rows text rows of height (rows x 17 or 25 pixels), the page's
// background where it ends sooner (a thumbnail); 0: the whole page, up to
// kMaxRenderHeight pixels.
// halvings: the page at half its size that many times, each pixel (x, y) the full render's
// pixel (x, y) x 2^halvings, drawn without drawing the others (a thumbnail: 1).
std::unique_ptr<TBitmap> RenderPage(std::string_view document, const TPageLook& look, int rows = 0,
                                    int halvings = 0);

inline constexpr int kRenderColumns = 80;
inline constexpr int kRenderWidth = kRenderColumns * 8;
inline constexpr int kThumbnailRows = 25;
inline constexpr int kMaxRenderHeight = 32768;
inline constexpr int kBackground = 16;
inline constexpr int kText = 17;

}  // namespace quill
