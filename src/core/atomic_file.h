#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

// Replaces path with data through a temporary file in the same folder and a
// rename, so readers see either the old or the new file, never a half one.
// A symbolic link keeps its place: the file it leads to is replaced (and
// created when the link dangles). Something that is not a regular file is
// never replaced. The new file is always readable and writable by its owner.
// When no temporary file can be made beside it (a read-only folder) but the
// file itself is writable, the file is rewritten in place, carefully, and
// *in_place is set. On any failure the old file is left as it was and false
// is returned.
bool write_file_atomic(const std::filesystem::path& path, const std::string& data, bool* in_place = nullptr);

// The temporary files of write_file_atomic are named after the file they
// replace, ".NAME.tmp-" and six letters, beside it. sweep_atomic_leftovers
// deletes those a killed launcher left for path; call it only while no
// other launcher can be writing path.
std::filesystem::path atomic_temp_prefix(const std::filesystem::path& target);
void sweep_atomic_leftovers(const std::filesystem::path& path);

enum class ReadStatus {
    ok,
    missing,      // no such file (a dangling link included)
    unreadable,   // exists but cannot be read, or is not a regular file
    too_big,      // a regular file larger than the limit given
};

// Reads a whole regular file, at most max_bytes of it. FIFOs, devices and
// folders are never opened for reading, so nothing here can block or run
// without end. Never throws.
ReadStatus read_regular_file(const std::filesystem::path& path, std::string& out,
                             size_t max_bytes = static_cast<size_t>(-1));

// Writes all of data to fd, going on after short writes and interruptions.
// False on any other failure.
bool write_all(int fd, const char* data, size_t size);

// Reads a whole regular file. Returns false when it cannot be opened or read.
bool read_file(const std::filesystem::path& path, std::string& out);

// Where a chain of symbolic links at path ends (path itself when it is no
// link). False for a loop or a chain too long to follow.
bool follow_links(const std::filesystem::path& path, std::filesystem::path& target);

// Copies a regular file's bytes to to (created or truncated; mode 0644 for a
// new file). Both ends are opened close-on-exec, unlike
// std::filesystem::copy_file, so a helper started meanwhile never inherits
// them. False on any failure.
bool copy_regular_file(const std::filesystem::path& from, const std::filesystem::path& to);
