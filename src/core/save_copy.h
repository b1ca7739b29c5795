#pragma once
// Whole-folder copies for saves: a tree copy that reports its first failure,
// a byte comparison of two trees, and a copy-then-swap that never leaves a
// half-copied folder where the player's saves were.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

// Copies the folder from into to. to must be missing or an empty folder.
// from itself may be a link; links inside it are copied as links, never
// followed (at most 32 folders deep); anything else that is neither a folder
// nor a regular file fails the copy, so a FIFO can never block it.
// Files keep their mode and modification time. Returns false at the first
// failure with error set to "path: reason"; what was copied so far stays.
// With sync, every file is flushed to the disk before it counts as copied.
bool copy_tree(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error,
               bool sync = false);

// Whether both are folders holding the same names, kinds and bytes (links:
// the same target text). Anything
// that cannot be read counts as a difference.
bool same_tree(const std::filesystem::path& a, const std::filesystem::path& b);

// Bytes of all regular files below p (unreadable parts count as nothing).
std::uintmax_t tree_bytes(const std::filesystem::path& p);

// "YYYYMMDD-HHMMSS" in local time.
std::string compact_stamp(std::time_t t);

// What happens to the folder that is replaced.
enum class OldSaves {
    Backup,    // becomes dest.bak; an older dest.bak moves to dest.bak-YYYYMMDD-HHMMSS
    Discard,   // removed once the new copy is in place (the caller kept a copy)
};

struct SwapResult {
    bool ok = false;
    std::string error;            // set when !ok
    std::filesystem::path backup; // where the old folder went (Backup mode, when there was one)
};

// Replaces dest with a copy of source. The copy goes into a scratch folder
// beside dest first; only once it is whole does it trade places with dest
// (when that holds anything) in one step where the file system can, else in
// renames that recover_interrupted_swap can finish. Any failure leaves dest
// and its backups as they were and removes the scratch copy. A dest that is
// a symbolic link stays one: the folder it leads to is replaced. Parents of
// dest are created when missing.
SwapResult replace_with_copy(const std::filesystem::path& source, const std::filesystem::path& dest, OldSaves old,
                             std::time_t now);

// What a launcher killed during replace_with_copy left beside dest: saves
// moved aside come back when dest is missing (or become its backup when
// that is missing), and scratch copies are removed. Runs before every swap
// and at start-up, while no other launcher can be swapping.
void recover_interrupted_swap(const std::filesystem::path& dest);
