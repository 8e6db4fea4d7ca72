#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quill {

class TRecordFile;

// Pictures carried inside the page as data: URIs. The pictures are known only after the
// text, so the run writes the page as a draft with a mark where each picture's address
// goes, and the page is then written from the draft with every mark replaced.
class TEmbeddedPictures {
  public:
    // The mark of picture n: its number between two bytes 1, which the translation never
    // lets through (a byte 1 is a colour code).
    static std::string Mark(int n);
    // "data:image/png;base64,..." (or image/bmp) of a picture file's bytes.
    static std::string DataUri(const uint8_t* data, size_t size, bool bmp);

    void Clear() { uris_.clear(); }
    void Keep(int n, std::string uri);
    // Copies the draft, opened for reading, into the page, opened for writing.
    void WritePage(TRecordFile& draft, TRecordFile& page) const;

  private:
    std::vector<std::string> uris_;  // by picture number
};

}  // namespace quill
