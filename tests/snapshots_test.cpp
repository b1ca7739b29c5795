// Save snapshots before each start and their restore, on real folders.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "launch/snapshots.h"
#include "support/testing.h"

namespace fs = std::filesystem;

namespace {

class Snapshots : public ::testing::Test {
protected:
    TempDir dir;
    fs::path saves() { return dir / "user/savedata/1/CUSA00000"; }
    fs::path snaps() { return dir / "data/save-snapshots"; }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const Snapshot& s : list_snapshots(snaps())) out.push_back(s.name);
        return out;
    }
    size_t entries(const fs::path& p) {
        return static_cast<size_t>(std::distance(fs::directory_iterator(p), fs::directory_iterator()));
    }
};

constexpr std::time_t T0 = 1765288800;   // a fixed moment; names follow the local time zone

// The folder name of the n-th snapshot made, at t.
std::string nth(std::time_t t, int n) { return snapshot_name(t) + "." + std::to_string(n); }

TEST_F(Snapshots, OneNewSnapshotPerChangedStartAndTheNewestTenKept) {
    EXPECT_EQ(snapshot_before_start(saves(), snaps(), T0, false), "") << "no saves, nothing to say";
    fs::create_directories(saves());
    EXPECT_EQ(snapshot_before_start(saves(), snaps(), T0, false), "") << "an empty folder is no save";
    EXPECT_FALSE(fs::exists(snaps()));

    write_file(saves() / "SAVE0/data.bin", "progress 0");
    std::string line = snapshot_before_start(saves(), snaps(), T0, false);
    ASSERT_EQ(names().size(), 1u);
    EXPECT_EQ(names()[0], nth(T0, 1));
    EXPECT_EQ(line, "Save snapshot kept in " + (snaps() / nth(T0, 1)).string());
    EXPECT_EQ(tree_listing(snaps() / names()[0]), tree_listing(saves()));

    // Unchanged: no new snapshot, in either language.
    EXPECT_EQ(snapshot_before_start(saves(), snaps(), T0 + 60, false), "Save unchanged since the last snapshot.");
    EXPECT_EQ(snapshot_before_start(saves(), snaps(), T0 + 61, true),
              "Save igual ao último snapshot; nenhuma cópia nova.");
    EXPECT_EQ(names().size(), 1u);

    // Changed again within the same second: a name of its own that sorts after.
    write_file(saves() / "SAVE0/data.bin", "progress 1");
    EXPECT_EQ(snapshot_before_start(saves(), snaps(), T0, true).rfind("Cópia do save guardada em ", 0), 0u);
    EXPECT_EQ(names(), (std::vector<std::string>{nth(T0, 2), nth(T0, 1)}));

    // Same size, other bytes, is a change too; ten more starts keep ten.
    for (int i = 2; i <= 11; ++i) {
        write_file(saves() / "SAVE0/data.bin", "progress " + std::to_string(i % 10));
        snapshot_before_start(saves(), snaps(), T0 + 100 * i, false);
    }
    std::vector<std::string> kept = names();
    ASSERT_EQ(kept.size(), SNAPSHOTS_KEPT);
    EXPECT_EQ(kept.front(), nth(T0 + 1100, 12));
    EXPECT_EQ(kept.back(), nth(T0 + 200, 3));
    EXPECT_EQ(read_text(snaps() / kept.front() / "SAVE0/data.bin"), "progress 1");
    EXPECT_EQ(entries(snaps()), SNAPSHOTS_KEPT) << "nothing else in the folder";

    // The clock an hour behind the newest (daylight saving ended), or many
    // starts in one second: the snapshot just made is the newest and stays,
    // and the line names a folder that exists.
    for (std::time_t t : {T0 - 3600, T0 - 3600, T0 - 3600, T0 - 7200}) {
        write_file(saves() / "SAVE0/data.bin", "progress at " + std::to_string(t) + " " + std::to_string(names().size()) +
                                                   kept.front());
        line = snapshot_before_start(saves(), snaps(), t, false);
        kept = names();
        ASSERT_EQ(kept.size(), SNAPSHOTS_KEPT);
        EXPECT_EQ(line, "Save snapshot kept in " + (snaps() / kept.front()).string());
        EXPECT_EQ(tree_listing(snaps() / kept.front()), tree_listing(saves()));
    }
    EXPECT_EQ(kept.back(), nth(T0 + 600, 7)) << "the oldest made went, not the latest";
}

TEST_F(Snapshots, AFailedSnapshotLeavesNothingAndCountsForNothing) {
    write_file(saves() / "a.bin", "a");
    snapshot_before_start(saves(), snaps(), T0, false);
    write_file(saves() / "b.bin", std::string(100000, 'b'));

    // Disk full half way: the start is told, the partial copy removed.
    std::string line;
    with_tiny_disk([&] { line = snapshot_before_start(saves(), snaps(), T0 + 1, false); return 0; });
    EXPECT_EQ(line.rfind("Could not snapshot the save (the game starts anyway): ", 0), 0u) << line;
    EXPECT_NE(line.find("File too large"), std::string::npos) << line;
    EXPECT_EQ(entries(snaps()), 1u);

    // Something that is not a file, in Portuguese.
    ASSERT_EQ(mkfifo((saves() / "pipe").c_str(), 0644), 0);
    line = snapshot_before_start(saves(), snaps(), T0 + 2, true);
    EXPECT_EQ(line, "Não foi possível guardar uma cópia do save (o jogo inicia mesmo assim): " +
                        (saves() / "pipe").string() + ": not a file or folder");
    EXPECT_EQ(entries(snaps()), 1u);

    // A copy left half-done by a killed launcher is neither listed nor kept.
    fs::remove(saves() / "pipe");
    write_file(snaps() / ".partial-2000-01-01_00-00-00/x", "half");
    write_file(snaps() / "notes.txt", "the player's");
    snapshot_before_start(saves(), snaps(), T0 + 3, false);
    EXPECT_EQ(names(), (std::vector<std::string>{nth(T0 + 3, 2), nth(T0, 1)}));
    EXPECT_FALSE(fs::exists(snaps() / ".partial-2000-01-01_00-00-00"));
    EXPECT_EQ(read_text(snaps() / "notes.txt"), "the player's") << "only snapshots are pruned or cleaned";

    // A deletion that stops half way (a launcher killed; here a folder that
    // refuses it) never leaves a half snapshot in the list.
    EXPECT_EQ(run_in_child([] {
                  char tmpl[] = "/tmp/quor-prune-XXXXXX";
                  if (!mkdtemp(tmpl)) return 2;
                  const fs::path d = tmpl;
                  for (int i = 1; i <= 3; ++i) {
                      fs::path snap = d / nth(T0 + i, i);
                      write_file(snap / "locked/b", "b");
                      for (int f = 0; f < 5; ++f) write_file(snap / ("f" + std::to_string(f)), "f");
                      chmod((snap / "locked").c_str(), 0500);
                  }
                  prune_snapshots(d, 1);
                  bool whole = true;
                  for (const Snapshot& snap : list_snapshots(d)) whole = whole && tree_listing(snap.path).size() == 7;
                  size_t listed = list_snapshots(d).size();
                  for (const auto& e : fs::recursive_directory_iterator(d))
                      if (e.is_directory()) chmod(e.path().c_str(), 0700);
                  fs::remove_all(d);
                  return whole && listed == 1 ? 0 : 1;
              }, true),
              0);
}

TEST_F(Snapshots, RestoreSwapsAndKeepsTheReplacedSavesAsASnapshot) {
    // Ten snapshots; the oldest is restored, so it must not be pruned first.
    for (int i = 0; i < 10; ++i) {
        write_file(saves() / "SAVE0/data.bin", "v" + std::to_string(i));
        snapshot_before_start(saves(), snaps(), T0 + i, false);
    }
    write_file(saves() / "SAVE0/data.bin", "current");
    write_file(saves() / "SAVE9/new.bin", "made after the last start");
    const auto current = tree_listing(saves());
    fs::path oldest = snaps() / nth(T0, 1);

    RestoreResult r = restore_snapshot(oldest, saves(), snaps(), T0 + 50);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(tree_listing(saves()), (std::map<std::string, std::string>{{"SAVE0", "<dir>"},
                                                                         {"SAVE0/data.bin", "v0"}}));
    ASSERT_EQ(r.before.outcome, SnapshotOutcome::Made);
    EXPECT_EQ(tree_listing(r.before.path), current) << "the restore can be undone";
    std::vector<std::string> kept = names();
    EXPECT_EQ(kept.size(), SNAPSHOTS_KEPT);
    EXPECT_EQ(kept.front(), nth(T0 + 50, 11));
    EXPECT_EQ(entries(saves().parent_path()), 1u) << "no scratch folders left beside the saves";

    // Undo: the replaced saves come back; the restored ones become a snapshot in turn.
    r = restore_snapshot(r.before.path, saves(), snaps(), T0 + 60);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(tree_listing(saves()), current);
    EXPECT_EQ(names().size(), SNAPSHOTS_KEPT);

    EXPECT_FALSE(restore_snapshot(snaps() / "2000-01-01_00-00-00", saves(), snaps(), T0 + 70).ok);
    EXPECT_EQ(tree_listing(saves()), current);
}

TEST_F(Snapshots, ARestoreThatFailsPartWayLeavesTheSavesByteForByte) {
    write_file(saves() / "SAVE0/data.bin", "old");
    write_file(saves() / "SAVE0/big.bin", std::string(100000, 'o'));
    snapshot_before_start(saves(), snaps(), T0, false);
    write_file(saves() / "SAVE0/data.bin", "current");
    // The current saves are already a snapshot; the copy of the chosen one fails.
    snapshot_before_start(saves(), snaps(), T0 + 1, false);
    const auto current = tree_listing(saves());
    const auto before = tree_listing(dir.path());

    RestoreResult r;
    with_tiny_disk([&] { r = restore_snapshot(snaps() / nth(T0, 1), saves(), snaps(), T0 + 2); return 0; });
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("File too large"), std::string::npos) << r.error;
    EXPECT_EQ(r.before.outcome, SnapshotOutcome::Unchanged);
    EXPECT_EQ(tree_listing(saves()), current);
    EXPECT_EQ(tree_listing(dir.path()), before) << "nothing added, nothing removed anywhere";

    // Saves that cannot be snapshotted are never replaced.
    ASSERT_EQ(mkfifo((saves() / "pipe").c_str(), 0644), 0);
    r = restore_snapshot(snaps() / nth(T0, 1), saves(), snaps(), T0 + 3);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.before.outcome, SnapshotOutcome::Failed);
    EXPECT_EQ(read_text(saves() / "SAVE0/data.bin"), "current");
}

TEST_F(Snapshots, NamesAndLabels) {
    EXPECT_TRUE(is_snapshot_name("2026-12-09_14-05-31"));
    EXPECT_TRUE(is_snapshot_name("2026-12-09_14-05-31_02"));
    for (const char* bad : {"", "2026-12-09_14-05-3", "2026-12-09 14-05-31", "2026-12-09_14-05-31_2",
                            "2026-12-09_14-05-31-02", ".partial-2026-12-09_14-05-31", "x026-12-09_14-05-31"})
        EXPECT_FALSE(is_snapshot_name(bad)) << bad;
    EXPECT_TRUE(is_snapshot_name(snapshot_name(T0)));
    EXPECT_LT(snapshot_name(T0), snapshot_name(T0 + 1));
    EXPECT_LT(snapshot_name(T0) + "_99", snapshot_name(T0 + 1));

    EXPECT_EQ(snapshot_label({"", "2026-12-09_14-05-31", 3355443}, false), "2026-12-09 14:05:31 · 3.2 MB");
    EXPECT_EQ(snapshot_label({"", "2026-12-09_14-05-31", 3355443}, true), "09/12/2026 14:05:31 · 3,2 MB");
    EXPECT_EQ(snapshot_label({"", "2026-12-09_14-05-31_03", 1500}, false), "2026-12-09 14:05:31 #3 · 2 KB");
    EXPECT_EQ(snapshot_label({"", "2026-12-09_14-05-31", 12}, true), "09/12/2026 14:05:31 · 12 B");

    write_file(dir / "s/2026-12-09_14-05-31/a", std::string(2048, 'a'));
    write_file(dir / "s/2026-12-09_14-05-31/sub/b", std::string(1024, 'b'));
    fs::create_directories(dir / "s/2026-12-10_08-00-00");
    write_file(dir / "s/2026-12-11_08-00-00", "a file, not a snapshot");
    std::vector<Snapshot> list = list_snapshots(dir / "s");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "2026-12-10_08-00-00");
    EXPECT_EQ(list[0].bytes, 0u);
    EXPECT_EQ(list[1].bytes, 3072u);
    EXPECT_EQ(list[1].path, dir / "s/2026-12-09_14-05-31");
}

}  // namespace
