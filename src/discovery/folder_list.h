#pragma once
// What the launcher's own folder browser shows: the sub-folders of one
// folder in their shown order, what each holds for the launcher (a game dump,
// the two sound modules), and the places a player keeps games on. Listing
// runs on a worker, since a folder may hold tens of thousands of entries or
// sit on a slow network mount; the UI thread takes what has arrived.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The files sound_ready() looks for, directly inside the folder.
inline constexpr const char* SOUND_MODULE_FILES[2] = {"libSceNgs2.sprx", "libSceUlt.sprx"};

// What a folder holds, as bits.
inline constexpr uint8_t MARK_DUMP = 1;    // game_info(folder).ok
inline constexpr uint8_t MARK_SOUND = 2;   // both sound modules, as regular files

// Touches the file system (a few status queries): workers only.
uint8_t folder_marks(const std::string& folder);

struct FolderEntry {
    std::string name;
    uint32_t id = 0;       // order of arrival: the index of its marks
    bool hidden = false;   // the name begins with a dot
};

// The shown order: visible folders before hidden ones, then by name with
// ASCII letters compared without case, then byte for byte.
bool folder_order(const FolderEntry& a, const FolderEntry& b);

enum class PlaceKind : uint8_t { home, media, mnt, emulator, found_game, found_modules };

struct FolderPlace {
    PlaceKind kind = PlaceKind::home;
    std::string path;
    std::string name;   // what the place is called when not translated (a volume's label)
};

struct PlaceQuery {
    std::string home;
    std::string user;
    std::string root = "/";   // where /run/media, /media and /mnt are looked for
    std::vector<std::string> found_games;     // what the last search reported
    std::vector<std::string> found_modules;
};

// Home, every volume under <root>/run/media/<user> and <root>/media/<user>,
// <root>/mnt, the emulator's folders the search looks in, then the search's
// findings; only existing folders, each path once. Workers only.
std::vector<FolderPlace> folder_places(const PlaceQuery& q);

// One listing's hand-over record, shared by its worker and the UI thread.
struct FolderListing {
    std::mutex mutex;
    // Under mutex: the worker appends, take_listing empties.
    std::vector<std::vector<FolderEntry>> runs;             // each run in shown order
    std::vector<std::pair<uint32_t, uint8_t>> marks;        // (entry id, marks), only non-zero ones
    uint8_t self_marks = 0;                                 // the listed folder's own
    std::vector<FolderPlace> places;
    bool places_ready = false;
    bool listed = false;   // every entry has been handed over
    bool done = false;     // the marks too: the worker has ended
    int error = 0;         // errno value when the folder could not be read (fully)
    // Set by the UI when the listing is no longer shown: the worker stops.
    std::atomic<bool> cancelled{false};
};

// Starts listing folder on a worker and returns at once. With places, the
// places of q come first. When no worker can start, the record is already
// done with an error.
std::shared_ptr<FolderListing> start_listing(const std::string& folder, bool places, PlaceQuery q = {});

// The UI side: what has arrived so far, in shown order.
struct FolderView {
    std::vector<FolderEntry> entries;
    std::vector<uint8_t> marks;   // by entry id
    uint8_t self_marks = 0;
    std::vector<FolderPlace> places;
    bool places_ready = false;
    bool listed = false;
    bool done = false;
    int error = 0;
};

// Moves what the worker handed over into view; true when anything changed.
// Holds the record's mutex only to swap the lists out; merging costs about
// the size of view.
bool take_listing(FolderListing& from, FolderView& view);
