#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

inline constexpr const char* GAME_ID = "CUSA00000";

struct GameInfo {
    bool ok = false;
    std::string title_id;
    std::string app_ver;
    std::string title;
};

GameInfo game_info(const std::string& folder);
