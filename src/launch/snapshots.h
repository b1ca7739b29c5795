#pragma once
// Copies of the save folder taken before each start of the game, kept in the
// data folder, and the restore of one of them.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

inline constexpr size_t SNAPSHOTS_KEPT = 10;

// The game's save folder: user_dir()/savedata/1/CUSA00000.
std::filesystem::path save_folder();
// g_data/save-snapshots
std::filesystem::path snapshots_dir();

// "YYYY-MM-DD_HH-MM-SS" in local time. A snapshot's folder adds its creation
// number, "YYYY-MM-DD_HH-MM-SS.N", by which snapshots are ordered.
std::string snapshot_name(std::time_t t);
// A snapshot_name followed by ".N", or, as older versions named them,
// alone or followed by "_02" .. "_99".
bool is_snapshot_name(const std::string& name);

struct Snapshot {
    std::filesystem::path path;
    std::string name;
    std::uintmax_t bytes = 0;
};

// The complete snapshots in dir, newest (by creation) first.
std::vector<Snapshot> list_snapshots(const std::filesystem::path& dir);

enum class SnapshotOutcome { Made, Unchanged, NoSaves, Failed };

struct SnapshotResult {
    SnapshotOutcome outcome = SnapshotOutcome::NoSaves;
    std::filesystem::path path;   // the new snapshot (Made)
    std::string error;            // Failed
};

// Copies saves into a new snapshot in dir, named after now, unless saves is
// missing or empty or equal to the newest snapshot. The copy is made under a
// hidden name and renamed when whole, so a failed one is never listed (it is
// removed). Nothing is pruned here.
SnapshotResult take_snapshot(const std::filesystem::path& saves, const std::filesystem::path& dir, std::time_t now,
                             bool sync = false);

// Deletes the oldest snapshots beyond keep, each taken out of the list first.
void prune_snapshots(const std::filesystem::path& dir, size_t keep);

// The snapshot made before a start: take_snapshot, then prune to
// SNAPSHOTS_KEPT after a new one is complete. Returns the line for the game
// log ("" when there is nothing to say). Never stops the start.
std::string snapshot_before_start(const std::filesystem::path& saves, const std::filesystem::path& dir,
                                  std::time_t now, bool pt);

struct RestoreResult {
    bool ok = false;
    std::string error;
    SnapshotResult before;   // the snapshot of the saves that were replaced
};

// Puts snapshot back as the saves: the current saves first become a snapshot
// (when that fails nothing else happens), then the snapshot is copied beside
// the saves and swapped in. Any failure leaves the saves as they were.
RestoreResult restore_snapshot(const std::filesystem::path& snapshot, const std::filesystem::path& saves,
                               const std::filesystem::path& dir, std::time_t now);

// "2026-12-09 14:05:31 · 3.2 MB" / "09/12/2026 14:05:31 · 3,2 MB"
std::string snapshot_label(const Snapshot& s, bool pt);

// What a launcher killed half way left in the data and save folders: saves
// a swap had moved aside come back, and its scratch copies, half-made or
// half-deleted snapshots and crash copies and temporary files of quor.ini
// (and of launcher.ini with settings_file_too) go. Call it only while this
// launcher holds the game lock, and the window lock for launcher.ini.
void sweep_leftovers(bool settings_file_too);
