#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Stream.h"

namespace quill {

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
  public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t size) override;

    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    void Clear();
    void LoadFromStream(TStream& source);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

  private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

}  // namespace quill
