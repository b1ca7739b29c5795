#include <ctime>
#include <mutex>
#include <system_error>

#include "core/globals.h"
#include "core/instance.h"
#include "core/paths.h"
#include "core/save_copy.h"
#include "core/settings.h"
#include "discovery/game_info.h"
#include "discovery/scan.h"
#include "discovery/shared.h"
#include "launch/game_process.h"
#include "launch/snapshots.h"
#include "ui/page_game.h"
#include "ui/page_log.h"
#include "ui/pages.h"
#include "ui/rows.h"
#include "ui/theme.h"
#include "core/toast.h"

namespace {

const Opt LANGUAGES[] = {
    {"", "Automático (o do jogo)", "Automatic (the game's)"},
    {"7", "Português (Portugal)", "Portuguese (Portugal)"},
    {"15", "Português (Brasil)", "Portuguese (Brazil)"},
    {"1", "Inglês", "English"},
    {"3", "Espanhol", "Spanish"},
    {"2", "Francês", "French"},
    {"4", "Alemão", "German"},
    {"5", "Italiano", "Italian"},
    {"0", "Japonês", "Japanese"},
};


// A path as the player reads it, with the home folder as ~.
std::string with_home_as_tilde(const fs::path& path) {
    const std::string home = home_dir().string(), text = path.string();
    if (home.size() > 1 && text.rfind(home + "/", 0) == 0) return "~" + text.substr(home.size());
    return text;
}

bool same_folder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// The snapshot chosen on the restore row, by name (UI thread).
std::string g_restore_pick;

// The list is read again only when the folder changes (a snapshot is added
// or removed), not every frame: each entry's size is a walk of its tree.
const std::vector<Snapshot>& shown_snapshots() {
    static fs::path cached_dir;
    static fs::file_time_type cached_time;
    static std::vector<Snapshot> cached;
    fs::path dir = snapshots_dir();
    std::error_code ec;
    fs::file_time_type t = fs::last_write_time(dir, ec);
    if (ec) {
        cached.clear();
        cached_dir.clear();
    } else if (dir != cached_dir || t != cached_time) {
        cached = list_snapshots(dir);
        cached_dir = dir;
        cached_time = t;
    }
    return cached;
}

void restore_rows() {
    const char* label = tr("Restore a save snapshot", "Restaurar um snapshot do save");
    const std::vector<Snapshot>& list = shown_snapshots();
    if (list.empty()) {
        action_row("restore", label, nullptr, tr("No snapshot yet", "Nenhum snapshot ainda"));
        return;
    }
    std::vector<ChoiceItem> items;
    int index = 0;
    for (const Snapshot& snap : list) {
        if (snap.name == g_restore_pick) index = static_cast<int>(items.size());
        items.push_back({snap.name, snapshot_label(snap, g_pt)});
    }
    if (choice_row_index("restore", items, index, label,
                         tr("Newest first. The current saves become a snapshot before a restore, so it can be undone.",
                            "Os mais novos primeiro. Os saves atuais viram um snapshot antes, então dá para desfazer.")))
        g_restore_pick = items[index].value;
    if (action_row("restore_go", tr("Restore this snapshot", "Restaurar este snapshot"), nullptr, "›"))
        restore_save_snapshot(list[index]);
}

}  // namespace

// The game lock for a swap of the saves: -1 (and the toast) while a game of
// this data folder runs, here or from --play.
static int lock_saves_for_swap(const char* en, const char* pt) {
    int lock = g_game.running.load() ? -1 : take_game_lock(g_data, false);
    if (lock < 0) toast(tr(en, pt), 5);
    return lock;
}

bool restore_save_snapshot(const Snapshot& snapshot) {
    // Like the import: the running game owns its saves.
    int lock = lock_saves_for_swap("Close the game before restoring a save.", "Feche o jogo antes de restaurar um save.");
    if (lock < 0) return false;
    RestoreResult r = restore_snapshot(snapshot.path, save_folder(), snapshots_dir(), std::time(nullptr));
    release_lock(lock);
    if (!r.ok) {
        toast(std::string(tr("Could not restore the snapshot: ", "Não foi possível restaurar o snapshot: ")) + r.error,
              6);
        return false;
    }
    std::string when = snapshot_label({snapshot.path, snapshot.name, 0}, g_pt);
    when = when.substr(0, when.find(" · "));
    if (r.before.outcome == SnapshotOutcome::NoSaves)
        toast(tr("Restored the snapshot of ", "Restaurado o snapshot de ") + when + ".", 6);
    else
        toast(tr("Restored the snapshot of " + when + "; the replaced saves are a snapshot now.",
                 "Restaurado o snapshot de " + when + "; os saves substituídos viraram um snapshot."),
              6);
    return true;
}

std::vector<fs::path> save_candidates(const std::vector<std::string>& found_saves) {
    std::vector<fs::path> out;
    for (const auto& s : found_saves) out.emplace_back(s);
    const fs::path roots[] = {home_dir() / ".local/share/shadPS4",
                              home_dir() / ".var/app" / SHADPS4_FLATPAK_ID / "data/shadPS4"};
    for (const auto& root : roots) {
        fs::path saves = root / "savedata";
        if (!is_dir(saves)) continue;
        std::error_code ec;
        for (fs::directory_iterator it(saves, ec), end; !ec && it != end; it.increment(ec)) {
            fs::path p = it->path() / GAME_ID;
            if (is_dir(p) && dir_has_entries(p)) out.push_back(p);
        }
        if (dir_has_entries(saves / GAME_ID)) out.push_back(saves / GAME_ID);
    }
    // The launcher's own save folder can show up among the found ones (a
    // search of the home folder sees it too); importing it onto itself would
    // move the player's saves away and copy nothing back.
    fs::path dest = save_folder();
    std::erase_if(out, [&](const fs::path& p) { return same_folder(p, dest); });
    return out;
}

static bool import_save_locked(const std::vector<std::string>& found_saves);

bool import_save(const std::vector<std::string>& found_saves) {
    // The game reads and writes its saves while it runs; swapping the folder
    // under it would lose what it writes next.
    int lock = lock_saves_for_swap("Close the game before importing a save.", "Feche o jogo antes de importar um save.");
    if (lock < 0) return false;
    bool ok = import_save_locked(found_saves);
    release_lock(lock);
    return ok;
}

static bool import_save_locked(const std::vector<std::string>& found_saves) {
    std::vector<fs::path> candidates = save_candidates(found_saves);
    if (candidates.empty()) {
        toast(tr("No shadPS4 save found (~/.local/share/shadPS4/savedata).",
                 "Nenhum save do shadPS4 encontrado (~/.local/share/shadPS4/savedata)."),
              5);
        return false;
    }
    const fs::path& source = candidates.front();
    fs::path dest = save_folder();
    // A repeated import would only push the player's own saves out of .bak.
    if (same_tree(source, dest)) {
        toast(std::string(tr("The saves here already match ", "Os saves daqui já são iguais a ")) + source.string(),
              5);
        return true;
    }
    SwapResult r = replace_with_copy(source, dest, OldSaves::Backup, std::time(nullptr));
    if (!r.ok) {
        toast(std::string(tr("Could not import the save: ", "Não foi possível importar o save: ")) + r.error, 5);
        return false;
    }
    toast(std::string(tr("Save imported from ", "Save importado de ")) + source.string(), 5);
    return true;
}

void page_game() {
    section(tr("Game", "Jogo"));
    // A folder that is gone (a removed card, an unplugged drive) says so.
    const std::string game_dir = S.get("game_dir");
    const char* game_help =
        !game_dir.empty() && !is_dir(game_dir)
            ? tr("Game folder not found. Put the card or drive back, or choose the folder again.",
                 "Pasta do jogo não encontrada. Recoloque o cartão ou disco, ou escolha a pasta de novo.")
            : tr("The CUSA00000 dump (EU 1.01) with eboot.bin, sce_module and sce_sys.",
                 "O dump CUSA00000 (europeu 1.01), com eboot.bin, sce_module e sce_sys.");
    folder_row("game_dir", tr("Game folder", "Pasta do jogo"), game_help, nullptr);
    bool busy;
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        busy = g_shared.scan_busy;
    }
    if (action_row("scan", tr("Search this PC", "Procurar no PC"),
                   tr("Looks for the game, shadPS4's sound modules and the DLC in the usual folders.",
                      "Procura o jogo, os módulos de som do shadPS4 e as DLCs nas pastas de costume."),
                   busy ? tr("searching…", "procurando…") : "›") &&
        !busy)
        start_scan(true);

    section(tr("Sound", "Som"));
    folder_row("sys_modules", tr("Sound modules", "Módulos de som"),
               tr("libSceNgs2.sprx and libSceUlt.sprx from YOUR console (shadPS4's user/sys_modules). They are Sony "
                  "firmware and never come with the port. Without them the game is silent.",
                  "libSceNgs2.sprx e libSceUlt.sprx do SEU console (o user/sys_modules do shadPS4). São firmware da "
                  "Sony e nunca vêm com o port. Sem eles o jogo roda mudo."),
               nullptr);

    section("DLC");
    folder_row("dlc_dir", tr("DLC folder", "Pasta de DLC"),
               tr("One subfolder per DLC (each with sce_sys/param.sfo), or shadPS4's addcont folder.",
                  "Uma subpasta por DLC (cada uma com sce_sys/param.sfo), ou o addcont do shadPS4."),
               tr("No DLC", "Sem DLC"));

    section("Saves");
    const std::string user_default = with_home_as_tilde(g_data / "user");
    folder_row("user_dir", tr("Data folder", "Pasta de dados"),
               tr("Saves and shader cache. Empty = " + user_default + ".",
                  "Saves e cache de shaders. Vazio = " + user_default + ".")
                   .c_str(),
               tr("Default", "Padrão"));
    if (action_row("import", tr("Import a shadPS4 save", "Importar save do shadPS4"),
                   tr("Copies shadPS4's savedata/CUSA00000 here (the current saves stay in .bak).",
                      "Copia o savedata/CUSA00000 do shadPS4 para cá (os saves atuais ficam em .bak)."),
                   "›")) {
        std::vector<std::string> found;
        {
            std::lock_guard<std::mutex> lock(g_shared.mutex);
            found = g_shared.found_saves;
        }
        import_save(found);
    }
    restore_rows();
    std::string where = snapshots_dir().string();
    toggle_row("save_snapshots",
               tr("Snapshot the save before each start", "Guardar uma cópia do save antes de cada início"),
               (tr("Kept in ", "Ficam em ") + where + tr(" (the newest 10).", " (as 10 mais novas).")).c_str());
    if (action_row("open_saves", tr("Open the saves folder", "Abrir a pasta dos saves"), nullptr, "›"))
        open_folder(save_folder());

    section(tr("System", "Sistema"));
    choice_row("language", LANGUAGES, 9, tr("System language", "Idioma do sistema"),
               tr("The language the game sees on the \"console\".", "O idioma que o jogo vê no \"console\"."), nullptr);
    text_row("player_name", tr("Player name", "Nome do jogador"), nullptr);
}
