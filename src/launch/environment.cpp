#include "launch/environment.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"

extern char** environ;

void env_set(EnvList& env, const std::string& name, const std::string& value) {
    std::string prefix = name + "=";
    for (std::string& entry : env) {
        if (entry.compare(0, prefix.size(), prefix) == 0) {
            entry = prefix + value;
            return;
        }
    }
    env.push_back(prefix + value);
}

std::string modes_string() {
    std::string modes;
    if (S.on("af16")) modes = "af16";
    if (S.on("fps60")) modes += modes.empty() ? "fps60" : ",fps60";
    return modes;
}

std::string cvar_string() {
    std::string cvars;
    auto add = [&cvars](const std::string& fragment) {
        if (fragment.empty()) return;
        if (!cvars.empty()) cvars += ' ';
        cvars += fragment;
    };
    if (!S.on("fx_vignette")) add("r_vignetteOverrideEnable=1 r_vignetteEnable=0");
    if (!S.on("fx_fog")) add("fog_enable=0");
    if (!S.on("fx_ssao")) add("AO_Mode=0");
    if (S.on("perf_culling")) add("doIndexBufferCulling=0 doSunShadowIndexBufferCulling=0");
    add(S.get("engine_cvars"));
    return cvars;
}

bool is_wide_output(const std::string& res) {
    int w = 0, h = 0;
    if (std::sscanf(res.c_str(), "%dx%d", &w, &h) != 2) return false;
    // 64-bit products: absurd resolutions typed by hand must not overflow.
    int64_t wide = int64_t(w) * 9;
    int64_t tall = int64_t(h) * 16;
    return double(wide) > double(tall) * 1.01;
}

// Splits at runs of white space; no quoting, so a value cannot hold a blank.
static void apply_extra_env(EnvList& env, const std::string& extra) {
    size_t i = 0;
    const char* space = " \t\n\r\v\f";
    while (i < extra.size()) {
        size_t start = extra.find_first_not_of(space, i);
        if (start == std::string::npos) break;
        size_t end = extra.find_first_of(space, start);
        if (end == std::string::npos) end = extra.size();
        std::string token = extra.substr(start, end - start);
        size_t eq = token.find('=');
        if (eq != std::string::npos) env_set(env, token.substr(0, eq), token.substr(eq + 1));
        i = end;
    }
}

EnvList build_game_environment(const EnvList& inherited) {
    EnvList env = inherited;
    auto flag = [](const char* key) { return S.on(key) ? "1" : "0"; };

    env_set(env, "QUOR_DATA_DIR", g_data.string());
    env_set(env, "QUOR_GAME_DIR", S.get("game_dir"));
    env_set(env, "QUOR_USER_DIR", user_dir().string());
    if (!S.get("sys_modules").empty()) env_set(env, "QUOR_SYS_MODULES", S.get("sys_modules"));
    if (!S.get("dlc_dir").empty()) env_set(env, "QUOR_DLC_DIR", S.get("dlc_dir"));
    env_set(env, "QUOR_MODES", modes_string());
    env_set(env, "ORN_FULLSCREEN", flag("fullscreen"));
    env_set(env, "ORN_PRESENT_MODE", S.get("present_mode"));
    if (!S.get("language").empty()) env_set(env, "ORN_LANGUAGE", S.get("language"));
    if (!S.get("player_name").empty()) env_set(env, "ORN_USER_NAME", S.get("player_name"));
    if (S.on("show_fps")) env_set(env, "QUOR_FPS", "1");
    if (!S.get("readbacks").empty()) env_set(env, "ORN_READBACKS", S.get("readbacks"));
    env_set(env, "QUOR_CVARS", cvar_string());
    env_set(env, "QUOR_RECORD_THREAD", flag("perf_record_thread"));
    if (!S.on("perf_dma")) env_set(env, "ORN_DIRECT_MEMORY_ACCESS", "0");

    std::string submit = S.get("gpu_submit");
    if (submit == "on") {
        env_set(env, "QUOR_FLUSH_US", "1000");
        env_set(env, "QUOR_RB_AHEAD", "1");
    } else if (submit == "off") {
        env_set(env, "QUOR_FLUSH_EVERY", "0");
        env_set(env, "QUOR_RB_AHEAD", "0");
    }

    env_set(env, "QUOR_NEO", flag("neo"));
    std::string output = S.get("output_res");
    if (output.empty()) output = "1920x1080";
    env_set(env, "QUOR_OUTPUT_RES", output);
    if (is_wide_output(output) && !S.on("neo")) env_set(env, "QUOR_RENDER_RES", output);

    env_set(env, "ORN_FSR1", S.get("upscaler") == "bilinear" ? "0" : "1");
    std::string sharpness = S.get("sharpness");
    env_set(env, "ORN_RCAS", sharpness == "off" ? "0" : "1");
    if (sharpness != "off") env_set(env, "ORN_RCAS_ATTENUATION", sharpness.empty() ? "250" : sharpness);

    env_set(env, "QUOR_MOUSE", flag("mouse"));
    std::string sens = S.get("mouse_sens");
    env_set(env, "QUOR_MOUSE_SENS", sens.empty() ? "1.0" : sens);
    env_set(env, "QUOR_MOUSE_INVERT", flag("mouse_invert"));
    if (!S.get("gamepad").empty()) env_set(env, "ORN_GAMEPAD", S.get("gamepad"));
    env_set(env, "ORN_CONFIG", (g_data / PORT_INI).string());

    apply_extra_env(env, S.get("extra_env"));

    // Last, so the game's output always streams as UTF-8 line by line.
    env_set(env, "PYTHONUNBUFFERED", "1");
    env_set(env, "PYTHONIOENCODING", "utf-8");
    return env;
}

EnvList game_environment() {
    EnvList inherited;
    for (char** e = environ; e && *e; ++e) inherited.emplace_back(*e);
    return build_game_environment(inherited);
}
