#pragma once
// Small helpers shared by the test executables.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// A fresh directory under /tmp, removed with everything in it at scope end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Writes data to path (binary, truncating), creating missing parent folders.
// Fails the current test when the file cannot be written.
void write_file(const std::filesystem::path& path, const std::string& data);

// The whole file, or an empty string when it cannot be read.
std::string read_text(const std::filesystem::path& path);

// Settings store S back to exactly the default table, g_dirty cleared.
void reset_settings();

#include <functional>
#include <vector>

// Polls pred every 10 ms until it holds or seconds have passed.
bool wait_until(const std::function<bool()>& pred, double seconds);

// The launcher's own environment as NAME=value strings.
std::vector<std::string> process_env();

// A copy of the game log's lines, and whether one equals line exactly.
std::vector<std::string> log_lines();
bool log_has(const std::string& line);

#include <map>
// Every entry below root, by path relative to it: a file's bytes, or "<dir>"
// for a folder (links are not followed). Two equal maps are byte-equal trees.
std::map<std::string, std::string> tree_listing(const std::filesystem::path& root);

// Runs fn in a forked child and returns its exit status (128 + signal when a
// signal ended it). With drop_root the child first gives up root (tests run
// as root, who reads and writes files whatever their mode). The child is
// killed after timeout_s seconds, so a call that blocks fails the test
// instead of hanging it.
int run_in_child(const std::function<int()>& fn, bool drop_root, unsigned timeout_s = 20);

// Bytes this process has read through read(2) and its kin so far.
unsigned long long bytes_read_by_process();

#include <sys/types.h>
// Runs fn with every file write past limit bytes failing (SIGXFSZ ignored),
// as on a full disk; works for root too.
int with_tiny_disk(const std::function<int()>& fn, unsigned long limit = 4096);

// Whether the process has child processes right now (helpers still running).
bool has_children(pid_t pid);

// A launcher laid out in a temporary folder: its data and port folders and
// HOME inside it, default settings, English texts, no toast, no APPIMAGE.
// HOME is put back after each test.
class InstallTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TempDir dir;
    std::string old_home;
};
