#include "platform/Picture.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

#include "platform/Exception.h"
#include "platform/Platform.h"

namespace quill {

namespace {

struct TFileFormat {
    std::string Extension;  // upper case, without the dot
    std::string Description;
    std::type_index Class;
    TPicture::TGraphicFactory Factory;
};

struct TRegistry {
    std::mutex Lock;
    std::vector<TFileFormat> Formats;
};

TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The extension of the file's own name (not of a folder), or "" when it has none.
std::string ExtensionOf(const std::string& fileName) {
    const size_t slash = fileName.find_last_of(kPathSeparators);
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return "";
    return fileName.substr(dot + 1);
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  std::type_index cls, TGraphicFactory factory) {
    std::string ext = extension;
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    if (ext.empty() || !factory)
        throw Exception("A picture format needs an extension and a class to read it");
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    ext = Upper(ext);
    // The newest registration for an extension wins.
    std::erase_if(r.Formats, [&](const TFileFormat& f) { return f.Extension == ext; });
    r.Formats.push_back({ext, description, cls, std::move(factory)});
}

void TPicture::UnregisterGraphicClass(std::type_index cls) {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    std::erase_if(r.Formats, [&](const TFileFormat& f) { return f.Class == cls; });
}

std::unique_ptr<TBitmap> TPicture::LoadFromFile(const std::string& fileName) {
    const std::string ext = ExtensionOf(fileName);
    TGraphicFactory factory;
    {
        TRegistry& r = Registry();
        std::lock_guard<std::mutex> guard(r.Lock);
        const std::string key = Upper(ext);
        auto it = std::find_if(r.Formats.begin(), r.Formats.end(),
                               [&](const TFileFormat& f) { return f.Extension == key; });
        if (it != r.Formats.end()) factory = it->Factory;
    }
    if (!factory)
        throw EInvalidGraphic("Cannot load \"" + fileName + "\": " +
                              (ext.empty() ? std::string("the file name has no extension")
                                           : "unknown picture file extension \"." + ext + "\""));
    std::unique_ptr<TBitmap> picture = factory();
    try {
        picture->LoadFromFile(fileName);
    } catch (const Exception& e) {
        if (e.FileName() == fileName) throw;
        throw EInvalidGraphic("Cannot load \"" + fileName + "\": " + e.Message(), fileName,
                              e.Message());
    }
    return picture;
}

std::string TPicture::Filter() {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    std::string filter;
    for (const TFileFormat& f : r.Formats) {
        if (!filter.empty()) filter += ";;";
        filter += f.Description + " (*." + Lower(f.Extension) + ")";
    }
    return filter;
}

}  // namespace quill
