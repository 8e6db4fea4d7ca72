#pragma once

// The inputs of the archive benchmarks: an archive of 400 generated documents (text and
// pictures mixed, in 20 folders) and one document of 300 distinct pictures, and the
// scratch folder they are written to.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "convert/PictureStore.h"
#include "support/BenchSupport.h"

namespace quill::bench {

namespace detail {

inline const std::string kHeader(17, '\x01');

// Text lines, then pictures (first row, row count) between them, then the picture data.
inline std::string Document(std::mt19937& random, int lines,
                            const std::vector<std::pair<int, int>>& pictures,
                            const std::string& data) {
    std::string doc = kHeader;
    int rows = 0;
    for (int l = 0; l < lines; ++l) {
        for (int k = 0; k < 60; ++k) doc.push_back(static_cast<char>(0x80 + random() % 0x30));
        doc += " \x02word\x01 <&>\r";
        if (l % 4 == 0 && static_cast<size_t>(l / 4) < pictures.size()) {
            const auto [first, count] = pictures[static_cast<size_t>(l / 4)];
            for (int r = first; r < first + count; ++r) {
                doc += "\xff";
                doc.push_back(static_cast<char>(128 + r));
                doc += "\r";
            }
            rows = std::max(rows, first + count);
        }
    }
    doc.push_back('\0');
    return doc + data.substr(0, static_cast<size_t>(rows * kGroupBytes));
}

inline void Write(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
}

}  // namespace detail

// In memory where the machine has a memory file system: what is measured is the
// conversion, not how a disk's file system allocates a thousand new files (a
// journal-less ext4 that has just deleted many files looks past each of them for every
// new one, for half a minute). A folder given is used instead; answers "" when no folder
// could be made.
inline std::string ScratchRoot(const char* given, const char* name) {
    if (given != nullptr) {
        std::filesystem::create_directories(given);
        return given;
    }
    const bool memory = ::access("/dev/shm", W_OK) == 0;
    std::string root =
        ((memory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
         (std::string(name) + "-XXXXXX"))
            .string();
    if (::mkdtemp(root.data()) == nullptr) {
        std::perror("mkdtemp");
        return "";
    }
    return root;
}

// root/archive: 400 documents in 20 folders, most of them text, one in three with two to
// six pictures; root/one/pictures.$w: one document of 300 distinct pictures.
inline void WriteArchiveInputs(const std::string& root) {
    const std::string data = ScreenPictureData();
    std::mt19937 random(13);
    for (int d = 0; d < 400; ++d) {
        std::vector<std::pair<int, int>> pictures;
        if (d % 3 == 0)
            for (int p = 0; p < 2 + d % 5; ++p)
                pictures.emplace_back(static_cast<int>(random() % 96),
                                      1 + static_cast<int>(random() % 24));
        detail::Write(
            root + "/archive/folder " + std::to_string(d % 20) + "/doc" + std::to_string(d) + ".$w",
            detail::Document(random, 200 + static_cast<int>(random() % 400), pictures, data));
    }
    std::vector<std::pair<int, int>> many;
    for (int i = 0; i < 300; ++i) many.emplace_back(i % 100, 1 + i / 100 * 8);
    detail::Write(root + "/one/pictures.$w", detail::Document(random, 1200, many, data));
}

}  // namespace quill::bench
