// Whole-folder copies, comparisons and the copy-then-swap behind save import
// and snapshots, on real folders.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "core/save_copy.h"
#include "support/testing.h"

namespace fs = std::filesystem;

namespace {

size_t entries(const fs::path& p) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(p), fs::directory_iterator()));
}

TEST(SaveCopy, CopyKeepsBytesModesAndTimesAndCompareSeesEveryDifference) {
    TempDir dir;
    fs::path a = dir / "a";
    write_file(a / "SAVE0/data.bin", std::string(200000, 'x') + "end");
    write_file(a / "SAVE0/param.sfo", "p");
    write_file(a / "empty", "");
    fs::create_directories(a / "SAVE1/deep/er");
    ASSERT_EQ(chmod((a / "SAVE0/param.sfo").c_str(), 0600), 0);
    write_file(dir / "elsewhere.bin", "linked");
    fs::create_symlink(dir / "elsewhere.bin", a / "link.bin");
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (a / "empty").c_str(), times, 0), 0);

    std::string error;
    ASSERT_TRUE(copy_tree(a, dir / "b", error)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(read_text(dir / "b/SAVE0/data.bin"), read_text(a / "SAVE0/data.bin"));
    EXPECT_TRUE(fs::is_directory(dir / "b/SAVE1/deep/er"));
    EXPECT_EQ(fs::read_symlink(dir / "b/link.bin"), dir / "elsewhere.bin") << "a link is copied as a link";
    EXPECT_EQ(fs::status(dir / "b/SAVE0/param.sfo").permissions() & fs::perms::all, fs::perms(0600));
    struct stat st{};
    ASSERT_EQ(stat((dir / "b/empty").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(tree_bytes(dir / "b"), 200003u + 1) << "what a link leads to is no part of the save";

    EXPECT_TRUE(same_tree(a, dir / "b"));
    EXPECT_FALSE(copy_tree(a, dir / "b", error)) << "never copies over a folder that holds something";

    // Same size, one byte different.
    write_file(dir / "b/SAVE0/data.bin", std::string(200000, 'x') + "enD");
    EXPECT_FALSE(same_tree(a, dir / "b"));
    write_file(dir / "b/SAVE0/data.bin", read_text(a / "SAVE0/data.bin"));
    EXPECT_TRUE(same_tree(a, dir / "b"));
    write_file(dir / "b/SAVE1/deep/extra", "");
    EXPECT_FALSE(same_tree(a, dir / "b")) << "an extra empty file";
    fs::remove(dir / "b/SAVE1/deep/extra");
    fs::remove(dir / "b/SAVE1/deep/er");
    write_file(dir / "b/SAVE1/deep/er", "");
    EXPECT_FALSE(same_tree(a, dir / "b")) << "a file where a folder was";
    fs::remove(dir / "b/SAVE1/deep/er");
    fs::create_directory(dir / "b/SAVE1/deep/er");
    fs::remove(dir / "b/link.bin");
    fs::create_symlink(dir / "other.bin", dir / "b/link.bin");
    EXPECT_FALSE(same_tree(a, dir / "b")) << "a link to somewhere else";
    EXPECT_FALSE(same_tree(a, dir / "missing"));
    EXPECT_FALSE(same_tree(a / "empty", a / "empty")) << "only folders are trees";
}

TEST(SaveCopy, CopyReportsWhatFailedAndNeverBlocksOrLoops) {
    TempDir dir;
    fs::path a = dir / "a";
    write_file(a / "ok.bin", "fine");
    ASSERT_EQ(mkfifo((a / "pipe").c_str(), 0644), 0);
    std::string error;
    EXPECT_FALSE(copy_tree(a, dir / "b", error));
    EXPECT_EQ(error, (a / "pipe").string() + ": not a file or folder");
    fs::remove(a / "pipe");

    // Links stay links: a loop or a dangling one is copied as it is, never followed.
    fs::create_symlink(a, a / "loop");
    fs::create_symlink(dir / "gone", a / "dangling");
    EXPECT_TRUE(copy_tree(a, dir / "c", error)) << error;
    EXPECT_EQ(tree_listing(dir / "c").size(), 3u);
    EXPECT_EQ(fs::read_symlink(dir / "c/loop"), a);
    EXPECT_TRUE(same_tree(a, dir / "c"));
    fs::remove(a / "loop");
    fs::remove(a / "dangling");

    write_file(a / "big.bin", std::string(100000, 'b'));
    bool ok = with_tiny_disk([&] { return int(copy_tree(a, dir / "e", error)); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, (dir / "e/big.bin").string() + ": File too large");
    EXPECT_FALSE(copy_tree(dir / "nowhere", dir / "f", error));
    EXPECT_FALSE(fs::exists(dir / "f"));
}

TEST(SaveCopy, ReplaceKeepsEveryOlderBackupUnderItsOwnName) {
    TempDir dir;
    fs::path dest = dir / "saves/CUSA00000";   // parents are made on the way
    for (const char* v : {"one", "two", "three", "four"}) {
        write_file(dir / "src" / v / "slot", v);
        SwapResult r = replace_with_copy(dir / "src" / v, dest, OldSaves::Backup, 1700000000);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(read_text(dest / "slot"), v);
    }
    const std::string aged = (dir / "saves/CUSA00000.bak-").string() + compact_stamp(1700000000);
    EXPECT_TRUE(std::regex_match(compact_stamp(1700000000), std::regex(R"(\d{8}-\d{6})")));
    EXPECT_EQ(read_text(dir / "saves/CUSA00000.bak/slot"), "three") << "the newest backup keeps the known name";
    EXPECT_EQ(read_text(aged + "/slot"), "one");
    EXPECT_EQ(read_text(aged + "-2/slot"), "two") << "a second backup in one second gets a name of its own";
    EXPECT_EQ(entries(dir / "saves"), 4u);

    fs::create_directories(dir / "other/CUSA00000");
    ASSERT_TRUE(replace_with_copy(dir / "src/one", dir / "other/CUSA00000", OldSaves::Backup, 0).ok);

    // Discard leaves only the new copy.
    SwapResult r = replace_with_copy(dir / "src/two", dir / "other/CUSA00000", OldSaves::Discard, 0);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(read_text(dir / "other/CUSA00000/slot"), "two");
    EXPECT_EQ(entries(dir / "other"), 1u);

    // A save folder that is a link (to a synced folder) stays one, in both
    // modes: the folder it leads to takes the new saves.
    write_file(dir / "synced/CUSA00000/slot", "synced");
    fs::create_directories(dir / "linked");
    fs::create_symlink(dir / "synced/CUSA00000", dir / "linked/CUSA00000");
    for (OldSaves mode : {OldSaves::Backup, OldSaves::Discard}) {
        r = replace_with_copy(dir / "src/four", dir / "linked/CUSA00000", mode, 0);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_TRUE(fs::is_symlink(dir / "linked/CUSA00000"));
        EXPECT_EQ(read_text(dir / "synced/CUSA00000/slot"), "four");
    }
    EXPECT_EQ(read_text(dir / "synced/CUSA00000.bak/slot"), "synced");
    EXPECT_EQ(entries(dir / "linked"), 1u);
}

TEST(SaveCopy, FailedReplaceLeavesTheDestinationAndItsBackupsAlone) {
    TempDir dir;
    fs::path dest = dir / "saves/CUSA00000";
    write_file(dest / "slot", "mine");
    write_file(dir / "saves/CUSA00000.bak/slot", "older");
    write_file(dir / "src/slot", "new");
    write_file(dir / "src/big", std::string(100000, 'n'));
    const auto before = tree_listing(dir / "saves");

    for (OldSaves mode : {OldSaves::Backup, OldSaves::Discard}) {
        SwapResult r;
        with_tiny_disk([&] { r = replace_with_copy(dir / "src", dest, mode, 0); return 0; });
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("File too large"), std::string::npos) << r.error;
        EXPECT_EQ(tree_listing(dir / "saves"), before) << "no partial copy, nothing moved";
    }
    ASSERT_EQ(mkfifo((dir / "src/pipe").c_str(), 0644), 0);
    EXPECT_FALSE(replace_with_copy(dir / "src", dest, OldSaves::Backup, 0).ok);
    EXPECT_EQ(tree_listing(dir / "saves"), before);

    // A file where the save folder should be: nothing is replaced.
    fs::remove(dir / "src/pipe");
    write_file(dir / "file/CUSA00000", "not a folder");
    SwapResult r = replace_with_copy(dir / "src", dir / "file/CUSA00000", OldSaves::Backup, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(read_text(dir / "file/CUSA00000"), "not a folder");
    EXPECT_EQ(entries(dir / "file"), 1u);

    // A launcher killed between the renames of a swap left no save folder:
    // the saves come back from where they were moved (older versions moved
    // them straight to .bak), and the scratch copies go.
    for (bool legacy : {false, true}) {
        TempDir t;
        write_file(t / "saves/CUSA00000.bak/slot", "backup");
        write_file(t / "saves/.CUSA00000.new-abcdef/slot", "copy");
        if (!legacy) write_file(t / "saves/.CUSA00000.old-ghijkl/slot", "moved");
        recover_interrupted_swap(t / "saves/CUSA00000");
        EXPECT_EQ(read_text(t / "saves/CUSA00000/slot"), legacy ? "backup" : "moved");
        EXPECT_EQ(entries(t / "saves"), legacy ? 1u : 2u);
    }
}

}  // namespace
