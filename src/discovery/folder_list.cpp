#include "discovery/folder_list.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <pwd.h>
#include <set>
#include <unistd.h>

#include "core/paths.h"
#include "core/wake.h"
#include "core/worker.h"
#include "discovery/game_info.h"
#include "discovery/scan.h"

namespace {

using Clock = std::chrono::steady_clock;

// The first batch is small so a big folder shows at once; later ones grow so
// that merging them on the UI thread stays about linear in the folder's size.
// A slow mount hands over whatever it has every so often.
constexpr size_t FIRST_BATCH = 64;
constexpr size_t LARGEST_BATCH = 8192;
constexpr auto HAND_OVER_EVERY = std::chrono::milliseconds(50);

int compare_names(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string clean_path(const fs::path& p) {
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string user_name(const std::string& given) {
    if (!given.empty()) return given;
    if (const char* u = std::getenv("USER"); u && *u) return u;
    passwd pw{}, *found = nullptr;
    char buf[1024];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_name) return found->pw_name;
    return {};
}

// The sub-folders of dir in shown order (mount points of removable media).
std::vector<std::string> sub_folders(const fs::path& dir) {
    std::vector<FolderEntry> found;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code tec;
        if (it->is_directory(tec)) {
            std::string name = it->path().filename().string();
            found.push_back({name, 0, !name.empty() && name[0] == '.'});
        }
    }
    std::sort(found.begin(), found.end(), folder_order);
    std::vector<std::string> names;
    for (auto& e : found) names.push_back(std::move(e.name));
    return names;
}

void list_worker(const std::shared_ptr<FolderListing>& l, const std::string& folder, bool with_places,
                 const PlaceQuery& q) {
    if (with_places) {
        std::vector<FolderPlace> places = folder_places(q);
        std::lock_guard<std::mutex> lock(l->mutex);
        l->places = std::move(places);
        l->places_ready = true;
    }
    uint8_t self = folder_marks(folder);
    {
        std::lock_guard<std::mutex> lock(l->mutex);
        l->self_marks = self;
    }
    wake_ui();

    std::vector<FolderEntry> all, pending;
    size_t batch = FIRST_BATCH;
    Clock::time_point last = Clock::now();
    auto hand_over = [&] {
        std::sort(pending.begin(), pending.end(), folder_order);
        {
            std::lock_guard<std::mutex> lock(l->mutex);
            l->runs.push_back(std::move(pending));
        }
        pending.clear();
        wake_ui();
        last = Clock::now();
        batch = std::min(batch * 2, LARGEST_BATCH);
    };
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    int error = ec.value();
    for (fs::directory_iterator end; !ec && it != end && !l->cancelled.load(); it.increment(ec)) {
        std::error_code tec;
        if (it->is_directory(tec)) {
            std::string name = it->path().filename().string();
            FolderEntry e{name, static_cast<uint32_t>(all.size()), !name.empty() && name[0] == '.'};
            all.push_back(e);
            pending.push_back(std::move(e));
        }
        if (pending.size() >= batch || (!pending.empty() && Clock::now() - last >= HAND_OVER_EVERY)) hand_over();
    }
    if (ec) error = ec.value();
    if (!pending.empty()) hand_over();
    {
        std::lock_guard<std::mutex> lock(l->mutex);
        l->listed = true;
        l->error = error;
    }
    wake_ui();

    // Marked in shown order, so the rows on screen get theirs first.
    std::sort(all.begin(), all.end(), folder_order);
    std::vector<std::pair<uint32_t, uint8_t>> marks;
    last = Clock::now();
    const fs::path base(folder);
    for (const FolderEntry& e : all) {
        if (l->cancelled.load()) break;
        if (uint8_t m = folder_marks((base / e.name).string())) marks.emplace_back(e.id, m);
        if (!marks.empty() && Clock::now() - last >= HAND_OVER_EVERY) {
            {
                std::lock_guard<std::mutex> lock(l->mutex);
                l->marks.insert(l->marks.end(), marks.begin(), marks.end());
            }
            marks.clear();
            wake_ui();
            last = Clock::now();
        }
    }
    {
        std::lock_guard<std::mutex> lock(l->mutex);
        l->marks.insert(l->marks.end(), marks.begin(), marks.end());
        l->done = true;
    }
    wake_ui();
}

}  // namespace

uint8_t folder_marks(const std::string& folder) {
    uint8_t m = 0;
    if (game_info(folder).ok) m |= MARK_DUMP;
    const fs::path dir(folder);
    if (!folder.empty() && is_file(dir / SOUND_MODULE_FILES[0]) && is_file(dir / SOUND_MODULE_FILES[1]))
        m |= MARK_SOUND;
    return m;
}

bool folder_order(const FolderEntry& a, const FolderEntry& b) {
    if (a.hidden != b.hidden) return !a.hidden;
    int c = compare_names(a.name, b.name);
    if (c != 0) return c < 0;
    return a.name < b.name;
}

std::vector<FolderPlace> folder_places(const PlaceQuery& q) {
    std::vector<FolderPlace> out;
    std::set<std::string> seen;
    auto add = [&](PlaceKind kind, const fs::path& p, std::string name) {
        if (p.empty()) return;
        std::string path = clean_path(p);
        if (!is_dir(path) || !seen.insert(path).second) return;
        out.push_back({kind, path, std::move(name)});
    };
    const fs::path home(q.home), root(q.root.empty() ? "/" : q.root);
    add(PlaceKind::home, home, "");
    if (std::string user = user_name(q.user); !user.empty())
        for (const fs::path& media : {root / "run/media" / user, root / "media" / user})
            for (const std::string& volume : sub_folders(media)) add(PlaceKind::media, media / volume, volume);
    add(PlaceKind::mnt, root / "mnt", "/mnt");
    if (!q.home.empty()) {
        add(PlaceKind::emulator, home / ".local/share/shadPS4", "shadPS4");
        add(PlaceKind::emulator, home / ".var/app" / SHADPS4_FLATPAK_ID / "data/shadPS4", "shadPS4 (Flatpak)");
        add(PlaceKind::emulator, home / ".config/shadPS4", "shadPS4 (config)");
    }
    for (const std::string& g : q.found_games) add(PlaceKind::found_game, g, fs::path(g).filename().string());
    for (const std::string& m : q.found_modules) add(PlaceKind::found_modules, m, fs::path(m).filename().string());
    return out;
}

std::shared_ptr<FolderListing> start_listing(const std::string& folder, bool places, PlaceQuery q) {
    auto l = std::make_shared<FolderListing>();
    if (!start_worker([l, folder, places, q = std::move(q)] { list_worker(l, folder, places, q); })) {
        std::lock_guard<std::mutex> lock(l->mutex);
        l->places_ready = l->listed = l->done = true;
        l->error = EAGAIN;
    }
    return l;
}

bool take_listing(FolderListing& from, FolderView& view) {
    std::vector<std::vector<FolderEntry>> runs;
    std::vector<std::pair<uint32_t, uint8_t>> marks;
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(from.mutex);
        runs.swap(from.runs);
        marks.swap(from.marks);
        if (from.places_ready && !view.places_ready) {
            view.places = from.places;
            view.places_ready = changed = true;
        }
        changed = changed || view.self_marks != from.self_marks || view.listed != from.listed ||
                  view.done != from.done || view.error != from.error;
        view.self_marks = from.self_marks;
        view.listed = from.listed;
        view.done = from.done;
        view.error = from.error;
    }
    for (auto& run : runs) {
        if (run.empty()) continue;
        auto mid = static_cast<std::ptrdiff_t>(view.entries.size());
        view.entries.insert(view.entries.end(), std::make_move_iterator(run.begin()), std::make_move_iterator(run.end()));
        std::inplace_merge(view.entries.begin(), view.entries.begin() + mid, view.entries.end(), folder_order);
        changed = true;
    }
    for (auto [id, m] : marks) {
        if (id >= view.marks.size()) view.marks.resize(id + 1, 0);
        view.marks[id] = m;
        changed = true;
    }
    return changed;
}
