#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

// Bytes as base64 text (RFC 4648, with "=" padding), and back.
std::string Base64Encode(const uint8_t* data, size_t size);
// The same text added to the end of out, which keeps its room for the next.
void AppendBase64(std::string& out, const uint8_t* data, size_t size);
inline std::string Base64Encode(std::string_view bytes) {
    return Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
// nullopt when text is no base64 of whole bytes.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace quill
