#include "platform/MemoryPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quill {

namespace {

constexpr int kMostLinks = 40;
constexpr size_t kLongestName = 255;

// The names of path, pointing into it.
std::vector<std::string_view> Parts(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (at < path.size()) {
        const size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at) parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

}  // namespace

struct TMemoryPlatform::TNode {
    TFileKind Kind = TFileKind::File;
    std::map<std::string, std::shared_ptr<TNode>, std::less<>> Children;  // a folder's
    std::vector<uint8_t> Data;                                            // a file's bytes
    std::string Target;                                                   // a link's
    uint32_t Mode = 0644;
    int64_t Modified = 0;
    uint64_t Inode = 0;
    bool Enterable = true;
    bool Listable = true;
    bool Writable = true;
};

struct TMemoryPlatform::TWhere {
    int Error = 0;
    std::shared_ptr<TNode> Parent;  // the folder the last name is in; null for "." or ".."
    std::string Name;
    std::shared_ptr<TNode> Node;  // what the name is; null when it does not exist
};

class TMemoryPlatform::TFile : public TOpenFile {
  public:
    TFile(TMemoryPlatform& owner, std::shared_ptr<TNode> node, std::string path, bool writes)
        : owner_(owner), node_(std::move(node)), path_(std::move(path)), writes_(writes) {}

    int64_t Read(void* buffer, size_t size, int& error) override {
        std::lock_guard<std::mutex> lock(owner_.lock_);
        error = 0;
        if (node_->Kind != TFileKind::File) {
            error = EISDIR;
            return -1;
        }
        const size_t n = position_ >= node_->Data.size()
                             ? 0
                             : std::min(size, node_->Data.size() - static_cast<size_t>(position_));
        if (n > 0) std::memcpy(buffer, node_->Data.data() + position_, n);
        position_ += n;
        return static_cast<int64_t>(n);
    }
    int64_t Write(const void* data, size_t size, int& error) override {
        std::lock_guard<std::mutex> lock(owner_.lock_);
        error = writes_ ? owner_.Faulty(TCall::Write, path_) : EBADF;
        if (error != 0) return -1;
        const size_t end = static_cast<size_t>(position_) + size;
        const size_t grows = end > node_->Data.size() ? end - node_->Data.size() : 0;
        size_t n = size;
        if (owner_.used_ + grows > owner_.capacity_) {
            // What fits goes in; then the disk is full.
            const uint64_t room = owner_.capacity_ - std::min(owner_.capacity_, owner_.used_);
            n = size - static_cast<size_t>(grows - std::min<uint64_t>(grows, room));
            if (n == 0) {
                error = ENOSPC;
                return -1;
            }
        }
        if (position_ + n > node_->Data.size()) {
            owner_.used_ += position_ + n - node_->Data.size();
            node_->Data.resize(static_cast<size_t>(position_) + n);
        }
        if (n > 0) std::memcpy(node_->Data.data() + position_, data, n);
        position_ += n;
        owner_.Touch(*node_);
        return static_cast<int64_t>(n);
    }
    int64_t Seek(int64_t offset, TFrom from, int& error) override {
        std::lock_guard<std::mutex> lock(owner_.lock_);
        const int64_t base = from == kFromStart     ? 0
                             : from == kFromCurrent ? static_cast<int64_t>(position_)
                                                    : static_cast<int64_t>(node_->Data.size());
        if (base + offset < 0) {
            error = EINVAL;
            return -1;
        }
        error = 0;
        position_ = static_cast<uint64_t>(base + offset);
        return base + offset;
    }
    int Resize(int64_t size) override {
        std::lock_guard<std::mutex> lock(owner_.lock_);
        if (!writes_) return EINVAL;
        owner_.used_ = owner_.used_ - node_->Data.size() + static_cast<uint64_t>(size);
        node_->Data.resize(static_cast<size_t>(size));
        owner_.Touch(*node_);
        return 0;
    }
    TFileStatus Status() override {
        std::lock_guard<std::mutex> lock(owner_.lock_);
        return owner_.StatusOf(*node_);
    }
    int SetMode(uint32_t mode) override {
        std::lock_guard<std::mutex> lock(owner_.lock_);
        node_->Mode = mode;
        return 0;
    }
    int Close() override {
        std::lock_guard<std::mutex> lock(owner_.lock_);
        return owner_.Faulty(TCall::Close, path_);
    }

  private:
    TMemoryPlatform& owner_;
    std::shared_ptr<TNode> node_;
    std::string path_;
    bool writes_;
    uint64_t position_ = 0;
};

TMemoryPlatform::TMemoryPlatform() {
    root_ = MakeNode(static_cast<int>(TFileKind::Folder));
    MakeFolder("/tmp");
}

TMemoryPlatform::~TMemoryPlatform() = default;

std::shared_ptr<TMemoryPlatform::TNode> TMemoryPlatform::MakeNode(int kind) {
    auto node = std::make_shared<TNode>();
    node->Kind = static_cast<TFileKind>(kind);
    node->Inode = nextInode_++;
    node->Mode = node->Kind == TFileKind::Folder ? 0755 : 0644;
    Touch(*node);
    return node;
}

void TMemoryPlatform::Touch(TNode& node) {
    node.Modified = ++clock_ * 1000;
}

int TMemoryPlatform::Faulty(TCall call, const std::string& path) const {
    return fault_ ? fault_(call, path) : 0;
}

TFileStatus TMemoryPlatform::StatusOf(const TNode& node) const {
    TFileStatus s;
    s.Kind = node.Kind;
    s.Size = node.Kind == TFileKind::File   ? node.Data.size()
             : node.Kind == TFileKind::Link ? node.Target.size()
                                            : 0;
    s.ModifiedNs = node.Modified;
    s.Device = 1;
    s.Inode = node.Inode;
    s.Mode = node.Mode;
    return s;
}

TMemoryPlatform::TWhere TMemoryPlatform::Find(const std::string& path, bool followLast) const {
    if (path.empty()) return {ENOENT, nullptr, "", nullptr};
    if (path.size() >= pathLimit_ && !reachedBeyond_) return {ENAMETOOLONG, nullptr, "", nullptr};
    const std::string absolute = path[0] == '/' ? std::string() : current_ + "/" + path;
    // Names point into absolute or path, and into the targets of links met on the way.
    std::vector<std::string_view> parts = Parts(absolute.empty() ? path : absolute);
    std::vector<std::shared_ptr<TNode>> folders{root_};  // the way down, for ".."
    int links = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        const bool last = i + 1 == parts.size();
        if (part == "." || part == "..") {
            if (part == ".." && folders.size() > 1) folders.pop_back();
            if (last) return {0, nullptr, "", folders.back()};
            continue;
        }
        const TNode& folder = *folders.back();
        if (folder.Kind != TFileKind::Folder) return {ENOTDIR, nullptr, "", nullptr};
        if (!folder.Enterable) return {EACCES, nullptr, "", nullptr};
        if (part.size() > kLongestName) return {ENAMETOOLONG, nullptr, "", nullptr};
        const auto it = folder.Children.find(part);
        if (it == folder.Children.end())
            return last ? TWhere{0, folders.back(), std::string(part), nullptr}
                        : TWhere{ENOENT, nullptr, "", nullptr};
        const std::shared_ptr<TNode>& child = it->second;
        if (child->Kind == TFileKind::Link && (!last || followLast)) {
            if (++links > kMostLinks) return {ELOOP, nullptr, "", nullptr};
            std::vector<std::string_view> rest = Parts(child->Target);
            rest.insert(rest.end(), parts.begin() + static_cast<ptrdiff_t>(i) + 1, parts.end());
            if (!child->Target.empty() && child->Target[0] == '/') folders.resize(1);
            parts = std::move(rest);
            i = static_cast<size_t>(-1);
            if (parts.empty()) return {0, nullptr, "", folders.back()};
            continue;
        }
        if (last) return {0, folders.back(), std::string(part), child};
        folders.push_back(child);
    }
    return {0, nullptr, "", folders.back()};
}

void TMemoryPlatform::SetFault(TFault fault) {
    std::lock_guard<std::mutex> lock(lock_);
    fault_ = std::move(fault);
}

void TMemoryPlatform::SetCapacity(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(lock_);
    capacity_ = bytes;
}

void TMemoryPlatform::Lock(const std::string& folder, bool listable) {
    std::lock_guard<std::mutex> lock(lock_);
    if (const TWhere w = Find(folder, true); w.Node) {
        w.Node->Enterable = false;
        w.Node->Listable = listable;
    }
}

void TMemoryPlatform::SetPathLimit(size_t bytes, bool reachedBeyond) {
    std::lock_guard<std::mutex> lock(lock_);
    pathLimit_ = bytes;
    reachedBeyond_ = reachedBeyond;
}

void TMemoryPlatform::MakeReadOnly(const std::string& path) {
    std::lock_guard<std::mutex> lock(lock_);
    if (const TWhere w = Find(path, true); w.Node) w.Node->Writable = false;
}

void TMemoryPlatform::WriteFile(const std::string& path, const std::string& bytes) {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
    int error = 0;
    std::unique_ptr<TOpenFile> file = Open(path, TOpenMode::Create, error);
    if (file) file->Write(bytes.data(), bytes.size(), error);
}

void TMemoryPlatform::MakeLink(const std::string& path, const std::string& target) {
    std::lock_guard<std::mutex> lock(lock_);
    const TWhere w = Find(path, false);
    if (w.Error != 0 || !w.Parent || w.Node) return;
    auto link = MakeNode(static_cast<int>(TFileKind::Link));
    link->Target = target;
    w.Parent->Children[w.Name] = link;
}

std::string TMemoryPlatform::ReadFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(lock_);
    const TWhere w = Find(path, true);
    if (!w.Node || w.Node->Kind != TFileKind::File) return {};
    return std::string(w.Node->Data.begin(), w.Node->Data.end());
}

std::map<std::string, std::string> TMemoryPlatform::Files(const std::string& folder) {
    std::lock_guard<std::mutex> lock(lock_);
    std::map<std::string, std::string> files;
    const std::function<void(const TNode&, const std::string&)> walk = [&](const TNode& node,
                                                                           const std::string& at) {
        for (const auto& [name, child] : node.Children) {
            const std::string path = at.empty() ? name : at + "/" + name;
            if (child->Kind == TFileKind::Folder)
                walk(*child, path);
            else if (child->Kind == TFileKind::Link)
                files[path] = "-> " + child->Target;
            else
                files[path] = std::string(child->Data.begin(), child->Data.end());
        }
    };
    if (const TWhere w = Find(folder, true); w.Node) walk(*w.Node, "");
    return files;
}

std::unique_ptr<TOpenFile> TMemoryPlatform::Open(const std::string& path, TOpenMode mode,
                                                 int& error) {
    std::lock_guard<std::mutex> lock(lock_);
    error = Faulty(TCall::Open, path);
    if (error != 0) return nullptr;
    const bool creates = mode != TOpenMode::Read && mode != TOpenMode::Write;
    if (mode == TOpenMode::CreateNew && Find(path, false).Node) {
        error = EEXIST;
        return nullptr;
    }
    TWhere w = Find(path, true);
    error = w.Error != 0 ? w.Error : !w.Node && !creates ? ENOENT : 0;
    if (error == 0 && !w.Node && !w.Parent) error = EISDIR;
    if (error == 0 && !w.Node && !w.Parent->Writable) error = EACCES;
    if (error == 0 && w.Node && mode != TOpenMode::Read) {
        if (w.Node->Kind == TFileKind::Folder)
            error = EISDIR;
        else if (!w.Node->Writable)
            error = EACCES;
    }
    if (error != 0) return nullptr;
    if (!w.Node) {
        w.Node = MakeNode(static_cast<int>(TFileKind::File));
        w.Parent->Children[w.Name] = w.Node;
    } else if (creates) {
        used_ -= w.Node->Data.size();
        w.Node->Data.clear();
        Touch(*w.Node);
    }
    return std::make_unique<TFile>(*this, w.Node, path, mode != TOpenMode::Read);
}

TFileStatus TMemoryPlatform::Status(const std::string& path, bool followLinks) {
    std::lock_guard<std::mutex> lock(lock_);
    TFileStatus s;
    s.Error = Faulty(TCall::Status, path);
    if (s.Error != 0) return s;
    const TWhere w = Find(path, followLinks);
    s.Error = w.Error != 0 ? w.Error : w.Node ? 0 : ENOENT;
    return s.Error != 0 ? s : StatusOf(*w.Node);
}

int TMemoryPlatform::ReadLink(const std::string& path, std::string& target) {
    std::lock_guard<std::mutex> lock(lock_);
    const TWhere w = Find(path, false);
    if (w.Error != 0 || !w.Node) return w.Error != 0 ? w.Error : ENOENT;
    if (w.Node->Kind != TFileKind::Link) return EINVAL;
    target = w.Node->Target;
    return 0;
}

int TMemoryPlatform::CheckWritable(const std::string& path) {
    std::lock_guard<std::mutex> lock(lock_);
    const TWhere w = Find(path, true);
    if (w.Error != 0 || !w.Node) return w.Error != 0 ? w.Error : ENOENT;
    return w.Node->Writable ? 0 : EACCES;
}

int TMemoryPlatform::Rename(const std::string& from, const std::string& to) {
    std::lock_guard<std::mutex> lock(lock_);
    if (const int error = Faulty(TCall::Rename, to)) return error;
    const TWhere source = Find(from, false);
    if (source.Error != 0 || !source.Node) return source.Error != 0 ? source.Error : ENOENT;
    const TWhere target = Find(to, false);
    if (target.Error != 0) return target.Error;
    if (!source.Parent || !target.Parent) return EBUSY;
    if (!source.Parent->Writable || !target.Parent->Writable) return EACCES;
    if (target.Node && target.Node->Kind == TFileKind::Folder &&
        source.Node->Kind != TFileKind::Folder)
        return EISDIR;
    if (target.Node == source.Node) return 0;
    if (target.Node && target.Node->Kind == TFileKind::File) used_ -= target.Node->Data.size();
    target.Parent->Children[target.Name] = source.Node;
    source.Parent->Children.erase(source.Name);
    return 0;
}

int TMemoryPlatform::Remove(const std::string& path) noexcept {
    std::lock_guard<std::mutex> lock(lock_);
    if (const int error = Faulty(TCall::Remove, path)) return error;
    const TWhere w = Find(path, false);
    if (w.Error != 0 || !w.Node) return w.Error != 0 ? w.Error : ENOENT;
    if (!w.Parent) return EBUSY;
    if (w.Node->Kind == TFileKind::Folder) return EISDIR;
    if (!w.Parent->Writable) return EACCES;
    if (w.Node->Kind == TFileKind::File) used_ -= w.Node->Data.size();
    w.Parent->Children.erase(w.Name);
    return 0;
}

int TMemoryPlatform::MakeFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(lock_);
    if (const int error = Faulty(TCall::MakeFolder, path)) return error;
    const TWhere w = Find(path, false);
    if (w.Error != 0) return w.Error;
    if (w.Node || !w.Parent) return EEXIST;
    if (!w.Parent->Writable) return EACCES;
    w.Parent->Children[w.Name] = MakeNode(static_cast<int>(TFileKind::Folder));
    return 0;
}

int TMemoryPlatform::ListFolder(const std::string& path, std::vector<std::string>& names) {
    std::lock_guard<std::mutex> lock(lock_);
    if (const int error = Faulty(TCall::List, path)) return error;
    const TWhere w = Find(path.empty() ? "." : path, true);
    if (w.Error != 0 || !w.Node) return w.Error != 0 ? w.Error : ENOENT;
    if (w.Node->Kind != TFileKind::Folder) return ENOTDIR;
    if (!w.Node->Listable) return EACCES;
    for (const auto& [name, child] : w.Node->Children) names.push_back(name);
    return 0;
}

int TMemoryPlatform::WriteStandardOutput(const void* data, size_t size) {
    std::lock_guard<std::mutex> lock(lock_);
    if (const int error = Faulty(TCall::Write, "/dev/stdout")) return error;
    stdout_.append(static_cast<const char*>(data), size);
    return 0;
}

double TMemoryPlatform::Now() {
    return 0;
}

}  // namespace quill
