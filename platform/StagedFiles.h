#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileIdentity.h"
#include "platform/Platform.h"

namespace quill {

// The files of one run, written under hidden temporary names in the folder where each
// belongs and put in place, one rename each, only when the whole run has succeeded. A run
// that fails, or a process that is interrupted, removes its temporary files, so every
// file that existed before stays exactly as it was and no half-written file ever has
// its final name.
//
// Every run in progress is known process-wide, so that an interrupted program can remove
// the temporary files of all of them at once (AbandonAllForExit).
class TStagedFiles {
  public:
    // keys: the names' keys, shared with other objects that stage files in the same
    // folders meanwhile (the index pages of a whole site); null for keys of its own. Keys
    // are kept by folder, so that a deep folder is resolved once, not once for each file.
    explicit TStagedFiles(TPlatform& platform = TPlatform::Real(), TFileKeys* keys = nullptr);
    ~TStagedFiles();  // abandons whatever was not put in place
    TStagedFiles(const TStagedFiles&) = delete;
    TStagedFiles& operator=(const TStagedFiles&) = delete;

    // Makes an empty temporary file to stand in for fileName and answers its path, to be
    // written instead: hidden, ".NAME.xxxxxx.tmp" beside it, but no longer than NAME where
    // that would pass the longest name a folder takes (255 bytes), so that a name the
    // folder takes always has a stand-in. Where fileName is a link the file it leads to
    // is replaced, and where it is a device or a pipe there is nothing to keep: the
    // answer is fileName itself. A file put in place last comes after all the others (a
    // page after its pictures).
    // Fails with EInOutError, naming fileName and the system's reason, when the folder
    // cannot take the file (a name too long for it) or fileName could not be replaced (a
    // folder, a file that may not be written).
    std::string Stage(const std::string& fileName, bool last = false);
    // The name under which a file that is fileName under any spelling was staged, or
    // nullptr.
    const std::string* Find(const std::string& fileName) const;
    // Every file staged, as named, in the order they are put in place.
    std::vector<std::string> Names() const;

    // Puts every staged file in place; afterwards nothing is left to abandon. A rename
    // that fails stops here with EInOutError and removes the stand-ins not yet renamed.
    void Commit();
    // Removes the temporary files; nothing is put in place.
    void Abandon() noexcept;

    // For a process that ends on a signal: removes the temporary files of every run in
    // progress and keeps all of them from putting anything in place from now on. Called
    // once, just before the process exits; it does not return the lock it takes.
    static void AbandonAllForExit() noexcept;

  private:
    struct TEntry {
        std::string Name;         // as the caller named it
        std::string Destination;  // what the rename replaces: Name with its links followed
        std::string Key;          // Destination's one spelling
        std::string Temporary;    // empty: written in place, nothing to rename
        bool Last = false;
    };
    std::vector<size_t> InOrder() const;  // indexes of entries_, the last ones last
    void RemoveTemporaries() noexcept;    // with the process-wide lock held

    std::string FollowLinks(const std::string& name) const;
    const TEntry* FindKey(const std::string& key) const;

    TPlatform& platform_;
    std::unique_ptr<TFileKeys> ownKeys_;
    TFileKeys& keyOf_;
    std::vector<TEntry> entries_;
    // Every object alive is on one process-wide list, guarded by one lock.
    TStagedFiles* previous_ = nullptr;
    TStagedFiles* next_ = nullptr;
};

}  // namespace quill
