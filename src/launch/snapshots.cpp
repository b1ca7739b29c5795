#include "launch/snapshots.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/kept_copies.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/save_copy.h"
#include "discovery/game_info.h"

namespace {

bool digits(const std::string& s, size_t from, size_t n) {
    for (size_t i = from; i < from + n; ++i)
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
    return true;
}

// Complete snapshot folders in dir, newest first, without their sizes.
std::vector<fs::path> snapshot_paths(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (!is_snapshot_name(it->path().filename().string())) continue;
        if (is_dir(it->path())) out.push_back(it->path());
    }
    std::sort(out.begin(), out.end(), [](const fs::path& a, const fs::path& b) {
        return made_before(b.filename().string(), a.filename().string());
    });
    return out;
}

std::vector<std::string> names_of(const std::vector<fs::path>& paths) {
    std::vector<std::string> out;
    for (const fs::path& p : paths) out.push_back(p.filename().string());
    return out;
}

std::string size_text(std::uintmax_t bytes, bool pt) {
    char buf[32];
    if (bytes < 1024)
        std::snprintf(buf, sizeof buf, "%ju B", bytes);
    else if (bytes < 1024 * 1024)
        std::snprintf(buf, sizeof buf, "%ju KB", (bytes + 1023) / 1024);
    else
        std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    std::string s = buf;
    if (pt) std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

}  // namespace

fs::path save_folder() { return user_dir() / "savedata" / "1" / GAME_ID; }

fs::path snapshots_dir() { return g_data / "save-snapshots"; }

std::string snapshot_name(std::time_t t) { return local_time_text(t, "%Y-%m-%d_%H-%M-%S", "0000-00-00_00-00-00"); }

bool is_snapshot_name(const std::string& n) {
    if (n.size() < 19) return false;
    bool shape = digits(n, 0, 4) && n[4] == '-' && digits(n, 5, 2) && n[7] == '-' && digits(n, 8, 2) &&
                 n[10] == '_' && digits(n, 11, 2) && n[13] == '-' && digits(n, 14, 2) && n[16] == '-' &&
                 digits(n, 17, 2);
    if (!shape) return false;
    if (n.size() == 19) return true;
    if (n.size() == 22 && n[19] == '_') return digits(n, 20, 2);   // same-second names of older versions
    return n[19] == '.' && n.size() >= 21 && n.size() <= 38 && digits(n, 20, n.size() - 20);
}

std::vector<Snapshot> list_snapshots(const fs::path& dir) {
    std::vector<Snapshot> out;
    for (const fs::path& p : snapshot_paths(dir)) out.push_back({p, p.filename().string(), tree_bytes(p)});
    return out;
}

SnapshotResult take_snapshot(const fs::path& saves, const fs::path& dir, std::time_t now, bool sync) {
    SnapshotResult r;
    if (!dir_has_entries(saves)) return r;
    std::vector<fs::path> existing = snapshot_paths(dir);
    if (!existing.empty() && same_tree(saves, existing.front())) {
        r.outcome = SnapshotOutcome::Unchanged;
        r.path = existing.front();
        return r;
    }
    r.outcome = SnapshotOutcome::Failed;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        r.error = dir.string() + ": " + ec.message();
        return r;
    }
    sweep_hidden(dir, {PARTIAL_PREFIX, DELETING_PREFIX});
    // Numbered after every snapshot there: the newest by creation, whatever
    // the clock says.
    const std::string base = snapshot_name(now);
    std::uint64_t number = next_creation_number(names_of(existing));
    std::string name = base + "." + std::to_string(number);
    while (fs::symlink_status(dir / name, ec).type() != fs::file_type::not_found)
        name = base + "." + std::to_string(++number);
    fs::path partial = dir / (PARTIAL_PREFIX + name);
    fs::path final_path = dir / name;
    if (!copy_tree(saves, partial, r.error, sync)) {
        fs::remove_all(partial, ec);
        return r;
    }
    fs::rename(partial, final_path, ec);
    if (ec) {
        r.error = final_path.string() + ": " + ec.message();
        fs::remove_all(partial, ec);
        return r;
    }
    r.outcome = SnapshotOutcome::Made;
    r.path = final_path;
    return r;
}

void prune_snapshots(const fs::path& dir, size_t keep) {
    std::vector<fs::path> all = snapshot_paths(dir);
    for (size_t i = keep; i < all.size(); ++i) remove_kept_copy(all[i]);
}

std::string snapshot_before_start(const fs::path& saves, const fs::path& dir, std::time_t now, bool pt) {
    SnapshotResult r = take_snapshot(saves, dir, now);
    switch (r.outcome) {
    case SnapshotOutcome::Made:
        prune_snapshots(dir, SNAPSHOTS_KEPT);
        if (!is_dir(r.path)) break;   // never say a snapshot is kept when it is not
        return tr(pt, "Save snapshot kept in ", "Cópia do save guardada em ") + r.path.string();
    case SnapshotOutcome::Unchanged:
        return tr(pt, "Save unchanged since the last snapshot.", "Save igual ao último snapshot; nenhuma cópia nova.");
    case SnapshotOutcome::Failed:
        return tr(pt, "Could not snapshot the save (the game starts anyway): ",
                  "Não foi possível guardar uma cópia do save (o jogo inicia mesmo assim): ") +
               r.error;
    case SnapshotOutcome::NoSaves:
        break;
    }
    return "";
}

RestoreResult restore_snapshot(const fs::path& snapshot, const fs::path& saves, const fs::path& dir,
                               std::time_t now) {
    RestoreResult r;
    if (!is_dir(snapshot)) {
        r.error = snapshot.string() + ": " + std::make_error_code(std::errc::no_such_file_or_directory).message();
        return r;
    }
    // Flushed to the disk: the saves it holds are deleted right after.
    r.before = take_snapshot(saves, dir, now, true);
    if (r.before.outcome == SnapshotOutcome::Failed) {
        r.error = r.before.error;
        return r;
    }
    SwapResult swap = replace_with_copy(snapshot, saves, OldSaves::Discard, now);
    if (!swap.ok) {
        // No pruning: the oldest snapshot may be the very one the player wants.
        r.error = swap.error;
        return r;
    }
    prune_snapshots(dir, SNAPSHOTS_KEPT);
    r.ok = true;
    return r;
}

std::string snapshot_label(const Snapshot& s, bool pt) {
    const std::string& n = s.name;
    if (!is_snapshot_name(n)) return n + " · " + size_text(s.bytes, pt);
    std::string time = n.substr(11, 2) + ":" + n.substr(14, 2) + ":" + n.substr(17, 2);
    std::string date = pt ? n.substr(8, 2) + "/" + n.substr(5, 2) + "/" + n.substr(0, 4) : n.substr(0, 10);
    std::string out = date + " " + time;
    if (n.size() == 22 && n[19] == '_') out += " #" + std::to_string(std::stoi(n.substr(20, 2)));
    return out + " · " + size_text(s.bytes, pt);
}

void sweep_leftovers(bool settings_file_too) {
    recover_interrupted_swap(save_folder());
    sweep_hidden(snapshots_dir(), {PARTIAL_PREFIX, DELETING_PREFIX});
    sweep_hidden(g_data / "crashes", {PARTIAL_PREFIX, DELETING_PREFIX});
    sweep_atomic_leftovers(g_data / PORT_INI);
    if (settings_file_too) sweep_atomic_leftovers(settings_file());
}
