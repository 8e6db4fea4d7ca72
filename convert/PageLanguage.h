#pragma once

#include <algorithm>
#include <array>
#include <string_view>

// The language a modern page declares in its html element when none is asked for: "ru"
// when its text holds a Cyrillic letter, otherwise "en". Both are two letters, so a head
// written with one takes the other in the same bytes.
namespace quill::language {

inline constexpr std::string_view kCyrillicText = "ru";
inline constexpr std::string_view kOtherText = "en";

// Whether the bytes, all of them text, hold a cp866 Cyrillic letter (А-я, Ё ё Є є Ї ї Ў ў;
// box drawing and the other symbols are no letters).
bool HoldsCyrillicLetter(std::string_view text);

// The same for the start of a text part as read ahead: its lines up to the first 0,
// picture lines left out (their bytes are no text).
bool TextStartHoldsCyrillicLetter(std::string_view ahead);

// A language asked for on the command line: a tag of at most 15 letters, digits and "-"
// that starts with two to eight letters ("ru", "uk", "sr-Latn"), which no attribute can be
// broken by.
bool IsLanguageTag(std::string_view tag);

// Such a tag held by value, as the settings copied to every run hold it; empty: none.
class TLanguageTag {
  public:
    TLanguageTag() = default;
    // tag: IsLanguageTag, or it is cut at 15 bytes.
    explicit TLanguageTag(std::string_view tag) {
        tag.copy(bytes_.data(), std::min(tag.size(), bytes_.size() - 1));
    }
    std::string_view View() const { return bytes_.data(); }
    bool Empty() const { return bytes_[0] == '\0'; }

  private:
    std::array<char, 16> bytes_{};
};

}  // namespace quill::language
