#include "platform/StagedFiles.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <random>

#include "platform/Exception.h"
#include "platform/FileIdentity.h"

namespace quill {

namespace {

// Both are trivially destroyed, so a signal that comes while the process is ending still
// finds them.
std::mutex gLock;
TStagedFiles* gFirst = nullptr;

[[noreturn]] void Fail(const std::string& fileName, const std::string& reason) {
    throw EInOutError("Cannot create \"" + fileName + "\": " + reason, fileName, reason);
}

[[noreturn]] void Fail(const std::string& fileName, int error) {
    Fail(fileName, TPlatform::Reason(error));
}

// The longest name most file systems take, in bytes (NAME_MAX).
constexpr size_t kLongestName = 255;
// What a temporary name adds to the name it stands for: "." before, ".xxxxxx.tmp" after.
constexpr size_t kTag = 6;
constexpr size_t kAdded = 1 + 1 + kTag + 4;

// base, cut to at most size bytes, not within a UTF-8 character: the Windows side takes
// names as characters.
std::string_view Cut(std::string_view base, size_t size) {
    if (base.size() <= size) return base;
    while (size > 0 && (static_cast<uint8_t>(base[size]) & 0xC0) == 0x80) --size;
    return base.substr(0, size);
}

// The hidden stand-in for base in its folder. Where it would be longer than the longest
// name, it is as long as base, base being cut short: a name the folder takes always has a
// stand-in, and the stand-in is random and found by its path anyway.
std::string TemporaryName(std::string_view base, const std::string& tag) {
    const std::string_view kept = base.size() + kAdded > kLongestName
                                      ? Cut(base, base.size() - std::min(base.size(), kAdded))
                                      : base;
    std::string name;
    name.reserve(kept.size() + kAdded);
    name.append(".").append(kept).append(".").append(tag).append(".tmp");
    return name;
}

// Six letters or digits, different in every thread and process.
std::string RandomTag() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    std::string tag(kTag, 'x');
    for (char& c : tag) c = kLetters[pick(engine)];
    return tag;
}

}  // namespace

// Follows the links of name to the file a write through it would reach.
std::string TStagedFiles::FollowLinks(const std::string& name) const {
    std::string at = name;
    for (int hops = 0; hops < 40; ++hops) {
        std::string target;
        if (platform_.Status(at, false).Kind != TFileKind::Link ||
            platform_.ReadLink(at, target) != 0)
            return at;
        const size_t slash = at.rfind('/');
        if (!target.empty() && target[0] != '/' && slash != std::string::npos)
            target = at.substr(0, slash + 1) + target;
        at = target;
    }
    return at;  // a loop: creating the file fails and says so
}

TStagedFiles::TStagedFiles(TPlatform& platform, TFileKeys* keys)
    : platform_(platform),
      ownKeys_(keys ? nullptr : std::make_unique<TFileKeys>(platform)),
      keyOf_(keys ? *keys : *ownKeys_) {
    std::lock_guard<std::mutex> lock(gLock);
    next_ = gFirst;
    if (gFirst) gFirst->previous_ = this;
    gFirst = this;
}

TStagedFiles::~TStagedFiles() {
    std::lock_guard<std::mutex> lock(gLock);
    RemoveTemporaries();
    if (previous_) previous_->next_ = next_;
    if (next_) next_->previous_ = previous_;
    if (gFirst == this) gFirst = next_;
}

std::string TStagedFiles::Stage(const std::string& fileName, bool last) {
    TEntry entry;
    entry.Name = fileName;
    entry.Destination = FollowLinks(fileName);
    entry.Key = keyOf_(entry.Destination);
    entry.Last = last;
    if (FindKey(entry.Key)) Fail(fileName, "it is written twice by this run");

    const TFileStatus st = platform_.Status(entry.Destination);
    const bool exists = st.Exists();
    if (st.IsFolder()) Fail(fileName, EISDIR);
    if (exists && st.Kind != TFileKind::File) {
        // A device or a pipe holds nothing to keep, and renaming over it would replace
        // the device itself.
        entry.Destination = fileName;
        std::lock_guard<std::mutex> lock(gLock);
        entries_.push_back(std::move(entry));
        return fileName;
    }
    // A file that may not be written is not replaced behind its owner's back.
    if (exists) {
        if (const int error = platform_.CheckWritable(entry.Destination)) Fail(fileName, error);
    }

    const size_t slash = entry.Destination.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : entry.Destination.substr(0, slash + 1);
    const std::string base =
        slash == std::string::npos ? entry.Destination : entry.Destination.substr(slash + 1);
    for (int attempt = 0;; ++attempt) {
        std::string temporary = folder + TemporaryName(base, RandomTag());
        // Registered and created under the lock: an interrupt either finds the file or
        // comes before it exists.
        std::lock_guard<std::mutex> lock(gLock);
        int error = 0;
        std::unique_ptr<TOpenFile> file = platform_.Open(temporary, TOpenMode::CreateNew, error);
        if (!file && error == EEXIST && attempt < 100) continue;
        if (!file) Fail(fileName, error);
        // The new file keeps the permissions of the one it replaces.
        if (exists) (void)file->SetMode(st.Mode);
        file.reset();
        entry.Temporary = std::move(temporary);
        entries_.push_back(std::move(entry));
        return entries_.back().Temporary;
    }
}

const TStagedFiles::TEntry* TStagedFiles::FindKey(const std::string& key) const {
    for (const TEntry& e : entries_)
        if (e.Key == key) return &e;
    return nullptr;
}

const std::string* TStagedFiles::Find(const std::string& fileName) const {
    const TEntry* e = FindKey(keyOf_(FollowLinks(fileName)));
    return e ? &e->Name : nullptr;
}

std::vector<size_t> TStagedFiles::InOrder() const {
    std::vector<size_t> order;
    for (bool last : {false, true})
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].Last == last) order.push_back(i);
    return order;
}

std::vector<std::string> TStagedFiles::Names() const {
    std::vector<std::string> names;
    for (size_t i : InOrder()) names.push_back(entries_[i].Name);
    return names;
}

void TStagedFiles::Commit() {
    std::lock_guard<std::mutex> lock(gLock);
    for (size_t i : InOrder()) {
        TEntry& e = entries_[i];
        if (e.Temporary.empty()) continue;
        if (const int error = platform_.Rename(e.Temporary, e.Destination)) {
            const std::string reason = TPlatform::Reason(error);
            const std::string name = e.Name;
            RemoveTemporaries();
            throw EInOutError("Cannot write \"" + name + "\": " + reason, name, reason);
        }
        e.Temporary.clear();
    }
    entries_.clear();
}

void TStagedFiles::Abandon() noexcept {
    std::lock_guard<std::mutex> lock(gLock);
    RemoveTemporaries();
}

void TStagedFiles::RemoveTemporaries() noexcept {
    for (TEntry& e : entries_)
        if (!e.Temporary.empty()) platform_.Remove(e.Temporary);
    entries_.clear();
}

void TStagedFiles::AbandonAllForExit() noexcept {
    gLock.lock();
    for (TStagedFiles* s = gFirst; s; s = s->next_)
        for (const TEntry& e : s->entries_)
            if (!e.Temporary.empty()) s->platform_.Remove(e.Temporary);
}

}  // namespace quill
