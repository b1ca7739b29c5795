#include "discovery/folder.h"

#include <SDL3/SDL.h>
#include <string>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/wake.h"
#include "discovery/game_info.h"
#include "discovery/scan.h"
#include "discovery/shared.h"
#include "core/toast.h"

void pick_folder(const char* key) {
    std::string current = S.get(key);
    std::string start = !current.empty() && is_dir(current) ? current : home_dir().string();
    SDL_ShowOpenFolderDialog(folder_picked, const_cast<char*>(key), g_window, start.c_str(), false);
}

void folder_picked(void* userdata, const char* const* filelist, int /*filter*/) {
    // Error or cancel; some dialogs (zenity) answer a cancel with one empty path.
    if (!userdata || !filelist || !filelist[0] || !filelist[0][0]) return;
    FolderPick pick{static_cast<const char*>(userdata), filelist[0]};
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    g_shared.picks.push_back(std::move(pick));
    wake_ui();
}

void apply_folder_picks() {
    for (const FolderPick& pick : g_shared.picks) {
        // Settings are stored one per line: such a name cannot be kept safely.
        if (pick.path.find_first_of("\r\n") != std::string::npos) {
            toast(tr("That folder's name has a line break. Rename the folder and choose it again.",
                     "O nome dessa pasta tem uma quebra de linha. Renomeie a pasta e escolha de novo."), 6);
            continue;
        }
        S.set(pick.key, pick.path);
        g_dirty = true;
        if (pick.key == "game_dir") {
            if (game_info(pick.path).ok)
                S.set("setup_done", "1");
            else
                toast(tr("No eboot.bin in that folder. Choose the dump's folder (CUSA00000).",
                         "Não há eboot.bin nessa pasta. Escolha a pasta do dump (CUSA00000)."), 5);
        } else if (pick.key == "sys_modules") {
            if (!sound_ready())
                toast(tr("libSceNgs2.sprx and libSceUlt.sprx are not in that folder.",
                         "libSceNgs2.sprx e libSceUlt.sprx não estão nessa pasta."), 5);
        }
    }
    g_shared.picks.clear();
}
