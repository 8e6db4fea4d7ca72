// The memory platform stands in for the system in tests: for the same files and the same
// calls it must answer what the system answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileIdentity.h"
#include "platform/MemoryPlatform.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

// Folders below a tree, 2,100 deep: a path past the system's limit of 4,096 bytes.
std::string Deep() {
    std::string deep = "/deep";
    for (int i = 0; i < 2100; ++i) deep += "/d";
    return deep;
}

// The same small tree on a platform, below root.
void MakeTree(TPlatform& platform, const std::string& root,
              const std::function<void(const std::string&, const std::string&)>& link) {
    for (const char* folder : {"", "/folder", "/folder/deeper"}) platform.MakeFolder(root + folder);
    int error = 0;
    platform.Open(root + "/file", TOpenMode::Create, error)->Write("abc", 3, error);
    platform.MakeFolders(root + Deep());
    if (const auto deep = platform.Open(root + Deep() + "/file", TOpenMode::Create, error))
        deep->Write("abcd", 4, error);
    link(root + "/link", "file");
    link(root + "/dangling", "nowhere/x");
    link(root + "/loop", "loop");
    link(root + "/up", "folder/..");
}

// What one call answers, as text.
using TProbe = std::function<std::string(TPlatform&, const std::string& root)>;

std::string Describe(const TFileStatus& s) {
    static const char* kinds[] = {"none", "file", "folder", "link", "pipe", "device"};
    std::string text = s.Exists() ? kinds[static_cast<int>(s.Kind)] : "error";
    if (!s.Exists()) text.append(" ").append(std::to_string(s.Error));
    if (s.IsFile()) text.append(" ").append(std::to_string(s.Size));
    return text;
}

TEST(Platform, MemoryAnswersAsTheSystemDoes) {
    const auto status = [](const char* name, bool follow) -> TProbe {
        return [=](TPlatform& p, const std::string& root) {
            return Describe(p.Status(root + name, follow));
        };
    };
    const auto open = [](const char* name, TOpenMode mode) -> TProbe {
        return [=](TPlatform& p, const std::string& root) {
            int error = 0;
            const auto file = p.Open(root + name, mode, error);
            std::string text = file ? "open " : "error ";
            return text.append(file ? Describe(file->Status()) : std::to_string(error));
        };
    };
    const auto call = [](std::function<int(TPlatform&, const std::string&)> f) -> TProbe {
        return [=](TPlatform& p, const std::string& root) {
            std::string text = "answer ";
            return text.append(std::to_string(f(p, root)));
        };
    };
    const TProbe probes[] = {
        status("/file", true),
        status("/missing", true),
        status("/file/x", true),
        status("/link", true),
        status("/link", false),
        status("/dangling", true),
        status("/dangling", false),
        status("/loop", true),
        status("/up/file", true),
        status("/folder/../file", true),
        open("/folder", TOpenMode::Read),
        open("/folder", TOpenMode::Create),
        open("/file", TOpenMode::CreateNew),
        open("/dangling", TOpenMode::CreateNew),
        open("/missing", TOpenMode::Read),
        open("/missing/x", TOpenMode::Create),
        open("/file/x", TOpenMode::Create),
        open("/link", TOpenMode::Write),
        call([](TPlatform& p, const std::string& r) {
            return p.Rename(r + "/file", r + "/folder");
        }),
        call([](TPlatform& p, const std::string& r) { return p.Rename(r + "/missing", r + "/x"); }),
        call(
            [](TPlatform& p, const std::string& r) { return p.Rename(r + "/link", r + "/moved"); }),
        call([](TPlatform& p, const std::string& r) { return p.Remove(r + "/folder"); }),
        call([](TPlatform& p, const std::string& r) { return p.Remove(r + "/missing"); }),
        call([](TPlatform& p, const std::string& r) { return p.MakeFolder(r + "/folder"); }),
        call([](TPlatform& p, const std::string& r) { return p.MakeFolder(r + "/missing/x"); }),
        call([](TPlatform& p, const std::string& r) { return p.MakeFolder(r + "/file/x"); }),
        call([](TPlatform& p, const std::string& r) { return p.MakeFolders(r + "/file/x/y"); }),
        call([](TPlatform& p, const std::string& r) { return p.MakeFolders(r + "/new/a/b"); }),
        call([](TPlatform& p, const std::string& r) {
            std::vector<std::string> names;
            return p.ListFolder(r + "/file", names);
        }),
        call([](TPlatform& p, const std::string& r) {
            std::string target;
            return p.ReadLink(r + "/file", target);
        }),
        [](TPlatform& p, const std::string& r) {
            std::vector<std::string> names;
            p.ListFolder(r, names);
            std::sort(names.begin(), names.end());
            std::string all;
            for (const std::string& n : names) all += n + " ";
            return all;
        },
        [](TPlatform& p, const std::string& r) {
            const std::string key = FileKey(r + "/up/../folder/deeper/../x", p);
            return key.substr(FileKey(r, p).size());
        },
        // Past the path limit, as short paths; only a name past the name limit fails.
        [](TPlatform& p, const std::string& r) {
            int error = 0;
            char bytes[8] = {};
            const auto file = p.Open(r + Deep() + "/file", TOpenMode::Read, error);
            if (file) file->Read(bytes, sizeof bytes, error);
            return std::string(bytes) + " " + Describe(p.Status(r + Deep() + "/file", true)) + " " +
                   Describe(p.Status(r + Deep() + "/../d/file", true)) + " " +
                   Describe(p.Status(r + Deep() + "/../../file", true)) + " " +
                   Describe(p.Status(r + Deep() + "/" + std::string(256, 'n'), true));
        },
        [](TPlatform& p, const std::string& r) {
            const std::string deep = r + Deep();
            std::string target, all;
            std::vector<std::string> names;
            for (const int answer :
                 {p.MakeFolder(deep + "/new"), p.ReadLink(deep + "/file", target),
                  p.CheckWritable(deep + "/file"), p.Rename(deep + "/file", deep + "/new/moved"),
                  p.Rename(deep + "/new/moved", r + "/back"),
                  p.Rename(r + "/back", deep + "/again"), p.Remove(deep + "/again"),
                  p.ListFolder(deep, names)})
                all += std::to_string(answer) + " ";
            for (const std::string& n : names) all += n + " ";
            return all + Describe(p.Status(r + "/back", true));
        },
    };
    test::TempDir dir;
    TPlatform& real = TPlatform::Real();
    const std::string realRoot = std::filesystem::canonical(dir.Path()).string() + "/t";
    MakeTree(real, realRoot, [](const std::string& at, const std::string& target) {
        std::filesystem::create_symlink(target, at);
    });
    TMemoryPlatform memory;
    MakeTree(memory, "/t", [&](const std::string& at, const std::string& target) {
        memory.MakeLink(at, target);
    });
    for (size_t i = 0; i < std::size(probes); ++i)
        EXPECT_EQ(probes[i](memory, "/t"), probes[i](real, realRoot)) << "probe " << i;
}

}  // namespace
}  // namespace quill
