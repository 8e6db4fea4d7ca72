#pragma once

#include <functional>
#include <memory>
#include <string>
#include <typeindex>

#include "platform/Bitmap.h"

namespace quill {

// The picture registry: which bitmap class reads files of an extension.
class TPicture {
  public:
    using TGraphicFactory = std::function<std::unique_ptr<TBitmap>()>;

    // Registers cls (created by factory) for files ending in "." + extension
    // (compared without regard to case). A newer registration of an extension
    // replaces the older one.
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   std::type_index cls, TGraphicFactory factory);
    template <class T>
    static void RegisterFileFormat(const std::string& extension, const std::string& description) {
        RegisterFileFormat(extension, description, typeid(T), [] { return std::make_unique<T>(); });
    }
    static void UnregisterGraphicClass(std::type_index cls);

    // A new object of the class registered for the file's extension, loaded from it.
    // Raises an Exception naming the file when no class is registered or loading fails.
    static std::unique_ptr<TBitmap> LoadFromFile(const std::string& fileName);
    // The registered formats' descriptions, for a file dialog's filter:
    // "Description (*.ext)" entries joined by ";;".
    static std::string Filter();
};

}  // namespace quill
