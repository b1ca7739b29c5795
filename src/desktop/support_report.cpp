#include "desktop/support_report.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/kept_copies.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/runner.h"
#include "core/save_copy.h"
#include "core/toast.h"
#include "core/wake.h"
#include "core/worker.h"
#include "desktop/steam.h"
#include "launch/environment.h"
#include "launch/game_process.h"
#include "launch/last_run.h"

extern char** environ;

namespace {

constexpr size_t REPORT_LOG_LINES = 200;
constexpr size_t REPORT_LOG_BYTES = size_t(1) << 20;
constexpr size_t PROBE_LINES = 40;
constexpr size_t CRASH_COPIES_LISTED = 100;
constexpr int PROBE_SECONDS = 10;

// ---- reading the system ------------------------------------------------------

// A small text file of the system (/proc, /sys, /etc); empty when unreadable.
std::string system_file(const fs::path& path) {
    std::string text;
    if (read_regular_file(path, text, size_t(4) << 20) != ReadStatus::ok) text.clear();
    return text;
}

std::string trim(std::string_view s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string_view::npos) return {};
    size_t b = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(a, b - a + 1));
}

// The value of "KEY=value" in os-release, its quotes and escapes taken off.
std::string os_release_value(const std::string& text, const std::string& key) {
    for (std::string_view line : output_lines(text)) {
        if (line.substr(0, key.size() + 1) != key + "=") continue;
        std::string v = trim(line.substr(key.size() + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        std::string out;
        for (size_t i = 0; i < v.size(); ++i) {
            if (v[i] == '\\' && i + 1 < v.size()) ++i;
            out += v[i];
        }
        return out;
    }
    return {};
}

// The text after the colon of the first "name : value" line of /proc's files.
std::string proc_value(const std::string& text, std::string_view name) {
    for (std::string_view line : output_lines(text)) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || trim(line.substr(0, colon)) != name) continue;
        return trim(line.substr(colon + 1));
    }
    return {};
}

size_t count_lines_named(const std::string& text, std::string_view name) {
    size_t n = 0;
    for (std::string_view line : output_lines(text)) {
        size_t colon = line.find(':');
        n += colon != std::string_view::npos && trim(line.substr(0, colon)) == name;
    }
    return n;
}

std::string env_value(const std::vector<std::string>& env, std::string_view name, bool* set = nullptr) {
    if (set) *set = false;
    for (const std::string& e : env) {
        if (e.size() > name.size() && e.compare(0, name.size(), name) == 0 && e[name.size()] == '=') {
            if (set) *set = true;
            return e.substr(name.size() + 1);
        }
    }
    return {};
}

// Inherited variables shown with their values: those that shape the game's
// session, graphics and libraries. Any other may hold a token or a name.
bool telling_variable(std::string_view name) {
    static constexpr std::string_view EXACT[] = {
        "PATH", "HOME", "LANG", "LANGUAGE", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE",
        "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "XDG_RUNTIME_DIR", "SteamDeck",
        "SteamGamepadUI", "SteamOS", "LD_PRELOAD", "LD_LIBRARY_PATH", "GAMESCOPE_WAYLAND_DISPLAY",
        "ENABLE_GAMESCOPE_WSI", "vblank_mode"};
    static constexpr std::string_view PREFIXES[] = {"QUOR_", "ORN_", "PYTHON", "LC_", "SDL_", "MESA_", "VK_",
                                                    "RADV_", "AMD_", "DXVK_", "VKD3D_", "__GL", "__NV", "__VK",
                                                    "NV_", "ANV_", "INTEL_", "LIBGL_", "GALLIUM_", "MANGOHUD",
                                                    "ENABLE_VK", "DRI_"};
    for (std::string_view e : EXACT)
        if (name == e) return true;
    for (std::string_view p : PREFIXES)
        if (name.substr(0, p.size()) == p) return true;
    return false;
}

std::string error_reason(int err, bool pt) {
    switch (err) {
    case ENOSPC:
    case EDQUOT: return tr(pt, "the disk is full", "o disco está cheio");
    case EROFS: return tr(pt, "the disk is read-only", "o disco é somente leitura");
    case EACCES:
    case EPERM: return tr(pt, "the folder takes no new files", "a pasta não aceita arquivos novos");
    case ENOTDIR:
    case EEXIST: return tr(pt, "its path leads through a file", "o caminho dela passa por um arquivo");
    case EFBIG: return tr(pt, "the file is larger than this session may write", "o arquivo passa do tamanho que esta sessão pode gravar");
    case EIO: return tr(pt, "the disk failed", "o disco falhou");
    case 0: return tr(pt, "something that is not a file is in its place", "há algo que não é um arquivo no lugar");
    default: return std::error_code(err, std::generic_category()).message();
    }
}

// ---- the sections ------------------------------------------------------------

struct Report {
    bool pt;
    std::string text;
    void heading(const char* en, const char* pt_text) {
        text += std::string("\n== ") + tr(pt, en, pt_text) + " ==\n";
    }
    void line(const std::string& s) { text += s + "\n"; }
    void field(const char* en, const char* pt_text, const std::string& value) {
        line(std::string(tr(pt, en, pt_text)) + ": " + value);
    }
};

std::string yes_no(bool v, bool pt) { return v ? tr(pt, "yes", "sim") : tr(pt, "no", "não"); }

std::string present(const fs::path& p, bool pt) {
    return p.string() + (is_file(p) ? "" : tr(pt, " (missing)", " (ausente)"));
}

void launcher_section(Report& r, const ReportFacts& f) {
    r.heading("Launcher", "Lançador");
    r.field("Version", "Versão", LAUNCHER_VERSION);
#if defined(__clang__)
    const std::string compiler = std::string("clang ") + __clang_version__;
#else
    const std::string compiler = std::string("GCC ") + __VERSION__;
#endif
    r.field("Compiler", "Compilador", compiler);
    const int v = SDL_GetVersion();
    r.line("SDL: " + std::to_string(SDL_VERSIONNUM_MAJOR(v)) + "." + std::to_string(SDL_VERSIONNUM_MINOR(v)) + "." +
           std::to_string(SDL_VERSIONNUM_MICRO(v)) + tr(r.pt, " linked, ", " ligada, ") +
           std::to_string(SDL_MAJOR_VERSION) + "." + std::to_string(SDL_MINOR_VERSION) + "." +
           std::to_string(SDL_MICRO_VERSION) + tr(r.pt, " compiled", " compilada"));
    r.line(std::string("Dear ImGui: ") + IMGUI_VERSION);
    r.field("Program folder", "Pasta do programa", f.exe_dir.string());
    r.field("Data folder", "Pasta de dados", f.data.string());
    r.field("Language", "Idioma", f.pt ? "Português" : "English");
}

void port_section(Report& r, const ReportFacts& f) {
    r.heading("Port", "Port");
    r.field("Folder", "Pasta", f.port.string());
    r.field("Starter", "Iniciador", present(f.port / PORT_STARTER, r.pt));
    // The port states no version of its own to the launcher; a VERSION file
    // beside quor.py is taken when there is one.
    std::string version;
    if (read_regular_file(f.port / "VERSION", version, 4096) == ReadStatus::ok)
        version = trim(version.substr(0, version.find('\n')));
    else
        version.clear();
    r.field("Version", "Versão",
            version.empty() ? tr(r.pt, "not stated by the port (no VERSION file); the launcher's release is ",
                                 "o port não informa (sem arquivo VERSION); a versão do lançador é ") +
                                  std::string(LAUNCHER_VERSION)
                            : version);
    r.field("GPU probe", "Sonda da GPU", present(f.exe_dir / GPU_PROBE, r.pt));
}

void system_section(Report& r) {
    r.heading("System", "Sistema");
    std::string os = system_file("/etc/os-release");
    if (os.empty()) os = system_file("/usr/lib/os-release");
    std::string name = os_release_value(os, "NAME"), version = os_release_value(os, "VERSION");
    if (name.empty()) name = os_release_value(os, "PRETTY_NAME");
    r.field("Operating system", "Sistema operacional",
            name.empty() ? tr(r.pt, "unknown", "desconhecido") : trim(name + " " + version));
    struct utsname u{};
    if (uname(&u) == 0)
        r.field("Kernel", "Kernel",
                std::string(u.sysname) + " " + u.release + " " + u.version + " " + u.machine);
    std::string cpu = system_file("/proc/cpuinfo");
    std::string model = proc_value(cpu, "model name");
    if (model.empty()) model = proc_value(cpu, "Model");
    if (model.empty()) model = proc_value(cpu, "Hardware");
    r.field("CPU", "CPU",
            (model.empty() ? tr(r.pt, "unknown", "desconhecida") : model) + ", " +
                std::to_string(count_lines_named(cpu, "processor")) + tr(r.pt, " processors listed, ", " processadores listados, ") +
                std::to_string(std::thread::hardware_concurrency()) + tr(r.pt, " threads at once", " threads ao mesmo tempo"));
    std::string total = proc_value(system_file("/proc/meminfo"), "MemTotal");
    unsigned long long kb = std::strtoull(total.c_str(), nullptr, 10);
    r.field("Memory", "Memória", kb ? std::to_string(kb / 1024) + " MiB" : tr(r.pt, "unknown", "desconhecida"));
}

void session_section(Report& r, const ReportFacts& f) {
    r.heading("Session", "Sessão");
    const bool pt = r.pt;
    if (f.window) {
        r.field("Video driver", "Driver de vídeo", f.video_driver);
        r.field("Renderer", "Renderizador", f.renderer);
        char buf[160];
        std::string rate = f.refresh > 0 ? std::to_string(static_cast<int>(f.refresh + 0.5f)) + " Hz"
                                         : tr(pt, "refresh rate unknown", "taxa de atualização desconhecida");
        std::snprintf(buf, sizeof buf, "%d × %d, %s, %s %.2f", f.display_w, f.display_h, rate.c_str(),
                      tr(pt, "content scale", "escala"), f.display_scale);
        r.field("Display", "Tela", buf);
        std::snprintf(buf, sizeof buf, "%d × %d, %s %.2f, %s: %s", f.window_w, f.window_h,
                      tr(pt, "UI scale", "escala da interface"), f.ui_scale, tr(pt, "full screen", "tela cheia"),
                      yes_no(f.fullscreen, pt).c_str());
        r.field("Window", "Janela", buf);
    } else {
        r.field("Window", "Janela", tr(pt, "none (written with --report)", "nenhuma (gravado com --report)"));
    }
    const auto& env = f.inherited;
    auto shown = [&](const char* name) {
        bool set = false;
        std::string v = env_value(env, name, &set);
        r.line(std::string(name) + ": " + (set ? v : tr(pt, "(not set)", "(não definida)")));
    };
    for (const char* name : {"XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY", "DISPLAY", "SDL_VIDEO_DRIVER"})
        shown(name);
    bool gamescope_display = false;
    env_value(env, "GAMESCOPE_WAYLAND_DISPLAY", &gamescope_display);
    const bool gamescope =
        env_value(env, "XDG_CURRENT_DESKTOP").find("gamescope") != std::string::npos || gamescope_display;
    r.field("gamescope", "gamescope", yes_no(gamescope, pt));
    bool deck_var = false, gamepad_ui = false;
    env_value(env, "SteamDeck", &deck_var);
    env_value(env, "SteamGamepadUI", &gamepad_ui);
    std::string product = trim(system_file("/sys/class/dmi/id/product_name"));
    const bool deck_board = product == "Jupiter" || product == "Galileo";
    std::string how;
    if (deck_var) how += " SteamDeck";
    if (gamepad_ui) how += " SteamGamepadUI";
    if (deck_board) how += " " + product;
    r.field("Steam Deck", "Steam Deck", yes_no(deck_var || gamepad_ui || deck_board, pt) + (how.empty() ? "" : " (" + trim(how) + ")"));
}

void gpu_section(Report& r, const ReportFacts& f) {
    r.heading("Graphics card", "Placa de vídeo");
    const bool pt = r.pt;
    std::string verdict;
    switch (f.gpu_state) {
    case 0: verdict = tr(pt, "still checking", "ainda verificando"); break;
    case 1: verdict = tr(pt, "found: ", "encontrada: ") + f.gpu_name; break;
    case 2: verdict = tr(pt, "no usable Vulkan 1.3 card", "nenhuma placa com Vulkan 1.3 utilizável"); break;
    default: verdict = tr(pt, "not checked", "não verificada"); break;
    }
    r.field("Probe's verdict", "Resultado da sonda", verdict);
    const fs::path tool = f.exe_dir / GPU_PROBE;
    ProbeRun run{f.probe_code, f.probe_output};
    if (!f.probe_ran) {
        if (!is_file(tool)) {
            r.line(tr(pt, "The probe is missing beside the launcher.", "A sonda não está ao lado do lançador."));
            return;
        }
        run = run_gpu_probe(tool, PROBE_SECONDS);
    }
    std::string how = run.code == -1 ? tr(pt, "could not be started", "não pôde ser iniciada")
                      : run.code == 124 || run.code == 137
                          ? tr(pt, "gave no answer in time", "não respondeu a tempo")
                          : tr(pt, "exit code ", "código de saída ") + std::to_string(run.code);
    r.line(tr(pt, "Probe output (", "Saída da sonda (") + std::string(GPU_PROBE) + " " + GPU_PROBE_ARG + ", " + how + "):");
    std::vector<std::string_view> lines = output_lines(run.output);
    for (size_t i = 0; i < lines.size() && i < PROBE_LINES; ++i) r.line("  " + std::string(lines[i].substr(0, 400)));
}

void pads_section(Report& r, const ReportFacts& f) {
    r.heading("Gamepads", "Controles");
    const bool pt = r.pt;
    if (!f.window) {
        r.line(tr(pt, "Not looked at without a window.", "Não verificados sem janela."));
        return;
    }
    if (f.pads.empty()) r.line(tr(pt, "None connected.", "Nenhum conectado."));
    for (const PadFact& p : f.pads)
        r.line("- " + p.name + " (" + p.type + ")" +
               (p.glyphs ? tr(pt, ", the button pictures follow it", ", os ícones dos botões seguem este") : ""));
}

void settings_section(Report& r, const ReportFacts& f) {
    r.heading("launcher.ini", "launcher.ini");
    if (f.settings_unreadable)
        r.line(tr(r.pt, "(The file could not be read: this run uses the defaults.)",
                  "(O arquivo não pôde ser lido: esta sessão usa os padrões.)"));
    Settings s = f.settings;
    if (!s.get("player_name").empty()) s.set("player_name", "<player>");
    r.text += settings_text(s);
}

void environment_section(Report& r, const ReportFacts& f) {
    r.heading("Game environment", "Ambiente do jogo");
    const std::set<std::string> inherited(f.inherited.begin(), f.inherited.end());
    std::vector<std::string> own, kept;
    size_t hidden = 0;
    for (const std::string& e : f.environment) {
        if (!inherited.count(e)) own.push_back(e);
        else if (telling_variable(std::string_view(e).substr(0, e.find('=')))) kept.push_back(e);
        else ++hidden;
    }
    r.line(tr(r.pt, "Set by the launcher:", "Definidas pelo lançador:"));
    for (const std::string& e : own) r.line("  " + e);
    r.line(tr(r.pt, "Inherited:", "Herdadas:"));
    for (const std::string& e : kept) r.line("  " + e);
    if (hidden)
        r.line(tr(r.pt, "  and ", "  e mais ") + std::to_string(hidden) +
               tr(r.pt, " more, left out: their values may be private.",
                  ", deixadas de fora: os valores podem ser particulares."));
}

void last_run_section(Report& r, const ReportFacts& f) {
    r.heading("Last run", "Última partida");
    const bool pt = r.pt;
    RunLogTail tail = read_run_log_tail(f.data / "last_run.log", REPORT_LOG_LINES, REPORT_LOG_BYTES);
    if (tail.status == ReadStatus::missing) {
        r.line(tr(pt, "No run yet (no last_run.log).", "Nenhuma partida ainda (sem last_run.log)."));
        return;
    }
    if (tail.status != ReadStatus::ok) {
        r.line(tr(pt, "last_run.log could not be read.", "Não foi possível ler o last_run.log."));
        return;
    }
    std::string label = previous_run_label(tail.time, tail.exit_code, pt);
    if (!tail.exit_code)
        label += f.game_running ? tr(pt, ", still running", ", ainda rodando")
                                : tr(pt, ", ended without its exit code line", ", terminou sem a linha do código de saída");
    r.line(label);
    r.line(tr(pt, "Its last ", "Suas últimas ") + std::to_string(tail.lines.size()) +
           tr(pt, " lines:", " linhas:"));
    for (const std::string& l : tail.lines) r.line("  " + l);
}

void crashes_section(Report& r, const ReportFacts& f) {
    r.heading("Crash copies", "Cópias de falhas");
    std::vector<std::pair<std::string, std::uintmax_t>> copies;
    std::error_code ec;
    for (fs::directory_iterator it(f.data / "crashes", ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code ec2;
        if (name.empty() || name[0] == '.' || !it->is_regular_file(ec2)) continue;
        copies.emplace_back(name, it->file_size(ec2));
    }
    std::sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) {
        return made_before(fs::path(a.first).stem().string(), fs::path(b.first).stem().string());
    });
    if (copies.empty()) r.line(tr(r.pt, "None.", "Nenhuma."));
    size_t skip = copies.size() > CRASH_COPIES_LISTED ? copies.size() - CRASH_COPIES_LISTED : 0;
    for (size_t i = skip; i < copies.size(); ++i)
        r.line("  " + copies[i].first + "  " + std::to_string(copies[i].second) + tr(r.pt, " bytes", " bytes"));
}

}  // namespace

ReportFacts report_facts_here() {
    ReportFacts f;
    f.pt = g_pt;
    f.now = std::time(nullptr);
    f.exe_dir = g_exe_dir;
    f.port = g_port;
    f.data = g_data;
    f.settings = S;
    f.settings_unreadable = g_settings_unreadable;
    for (char** e = environ; e && *e; ++e) f.inherited.emplace_back(*e);
    f.environment = game_environment();
    f.game_running = g_game.running.load();
    return f;
}

ProbeRun run_gpu_probe(const fs::path& tool, int seconds) {
    // coreutils' timeout ends a probe stuck in a broken driver, and what it started.
    RunResult r = run_capture({"timeout", "-k", "2", std::to_string(seconds), tool.string(), GPU_PROBE_ARG}, "");
    return {r.code, std::move(r.output)};
}

namespace {

bool word_byte(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }
bool name_byte(unsigned char c) { return word_byte(c) || c == '.' || c == '-'; }
bool digit(char c) { return c >= '0' && c <= '9'; }

struct Needle {
    std::string text;
    const char* put;
    bool path;
};

}  // namespace

std::string redact_report(const std::string& text, const Identity& who) {
    std::vector<Needle> needles;
    for (std::string h : who.homes) {
        while (h.size() > 1 && h.back() == '/') h.pop_back();
        if (h.size() > 1) needles.push_back({h, "~", true});
    }
    auto name = [&](const std::string& n, const char* put) {
        if (!n.empty()) needles.push_back({n, put, false});
    };
    for (const std::string& u : who.users) name(u, "<user>");
    name(who.host, "<host>");
    name(who.player_name, "<player>");
    // The longest first: a home holds the user's name.
    std::stable_sort(needles.begin(), needles.end(),
                     [](const Needle& a, const Needle& b) { return a.text.size() > b.text.size(); });
    std::set<std::string> ids;
    for (const std::string& id : who.steam_ids)
        if (!id.empty() && std::all_of(id.begin(), id.end(), digit)) ids.insert(id);

    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char prev = i ? static_cast<unsigned char>(text[i - 1]) : ' ';
        if (digit(text[i]) && !digit(static_cast<char>(prev))) {
            size_t j = i;
            while (j < text.size() && digit(text[j])) ++j;
            std::string run = text.substr(i, j - i);
            if ((run.size() == 17 && run.compare(0, 7, "7656119") == 0) || ids.count(run)) {
                out += "<steam-id>";
                i = j;
                continue;
            }
        }
        bool hit = false;
        for (const Needle& n : needles) {
            if (text.compare(i, n.text.size(), n.text) != 0) continue;
            const size_t end = i + n.text.size();
            const unsigned char next = end < text.size() ? static_cast<unsigned char>(text[end]) : ' ';
            if (n.path && name_byte(next)) continue;
            if (!n.path && n.text.size() < 3 && (word_byte(prev) || word_byte(next))) continue;
            out += n.put;
            i = end;
            hit = true;
            break;
        }
        if (!hit) out += text[i++];
    }
    return out;
}

Identity identity_here(const ReportFacts& f) {
    Identity who;
    std::vector<std::string> homes;
    std::string home = env_value(f.inherited, "HOME");
    if (!home.empty()) homes.push_back(home);
    struct passwd pw{};
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found) {
        if (pw.pw_dir && *pw.pw_dir) homes.push_back(pw.pw_dir);
        if (pw.pw_name && *pw.pw_name) who.users.push_back(pw.pw_name);
    }
    for (const std::string& h : homes) {
        who.homes.push_back(h);
        std::error_code ec;
        fs::path real = fs::weakly_canonical(h, ec);
        if (!ec && real.string() != h) who.homes.push_back(real.string());
        std::string last = fs::path(h).lexically_normal().filename().string();
        if (last.empty()) last = fs::path(h).lexically_normal().parent_path().filename().string();
        if (!last.empty()) who.users.push_back(last);
        for (const fs::path& config : steam_user_configs(h)) who.steam_ids.push_back(config.parent_path().filename().string());
    }
    for (const char* var : {"USER", "LOGNAME"}) {
        std::string v = env_value(f.inherited, var);
        if (!v.empty()) who.users.push_back(v);
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) who.host = host;
    who.player_name = f.settings.get("player_name");
    return who;
}

std::string support_report_text(const ReportFacts& f) {
    Report r{f.pt, {}};
    r.line(tr(f.pt, "Veltrane launcher: support report", "Lançador Veltrane: relatório de suporte"));
    r.line(tr(f.pt, "Made ", "Feito em ") + local_time_text(f.now, "%Y-%m-%d %H:%M:%S", "?") +
           tr(f.pt, ". Paths in the home folder are written with ~; user, computer and player names and Steam ids "
                    "are left out.",
              ". Caminhos na pasta pessoal aparecem com ~; nomes de usuário, do computador e do jogador e ids da "
              "Steam ficam de fora."));
    launcher_section(r, f);
    port_section(r, f);
    system_section(r);
    session_section(r, f);
    gpu_section(r, f);
    pads_section(r, f);
    r.heading("Ready check", "Verificação");
    for (const std::string& line : f.ready) r.line(line);
    settings_section(r, f);
    environment_section(r, f);
    last_run_section(r, f);
    crashes_section(r, f);
    return redact_report(r.text, identity_here(f));
}

ReportOutcome write_support_report(const ReportFacts& f) {
    ReportOutcome o;
    o.text = support_report_text(f);
    const std::string name = "support-report-" + compact_stamp(f.now) + ".txt";
    o.path = f.data / name;
    std::error_code ec;
    fs::create_directories(f.data, ec);
    errno = 0;
    o.ok = !ec && write_file_atomic(o.path, o.text);
    const int err = ec ? ec.value() : errno;
    o.message = o.ok ? tr(f.pt, "Support report saved: ", "Relatório de suporte salvo: ") + name
                     : tr(f.pt, "The support report could not be saved in the data folder: ",
                          "Não foi possível salvar o relatório de suporte na pasta de dados: ") +
                           error_reason(err, f.pt) + ".";
    return o;
}

// ---- the Advanced page's rows --------------------------------------------------

namespace {

bool g_report_busy = false;   // UI thread: a report is being written
bool g_report_copy = false;   // UI thread: that press also asked for the clipboard
std::string g_report_text, g_report_name;   // UI thread: the last one written

// A finished report, handed from its worker to the UI thread.
struct ReportHandOver {
    std::mutex mutex;
    ReportOutcome outcome;
    bool done = false;
};
// Never destroyed: a report's worker may still lock it while the process exits.
ReportHandOver& g_report_result = *new ReportHandOver;

void run_report_job(const ReportFacts& facts) {
    ReportOutcome o = write_support_report(facts);
    {
        std::lock_guard<std::mutex> lock(g_report_result.mutex);
        g_report_result.outcome = std::move(o);
        g_report_result.done = true;
    }
    wake_ui();
}

}  // namespace

void support_report_pressed(const ReportFacts& facts, bool copy) {
    if (g_report_busy) return;
    g_report_busy = true;
    g_report_copy = copy;
    if (!start_worker([facts] { run_report_job(facts); })) run_report_job(facts);   // no thread to be had: here
}

bool support_report_busy() { return g_report_busy; }
const std::string& last_support_report_text() { return g_report_text; }
const std::string& last_support_report_name() { return g_report_name; }

bool take_support_report() {
    ReportOutcome o;
    {
        std::lock_guard<std::mutex> lock(g_report_result.mutex);
        if (!g_report_result.done) return false;
        o = std::move(g_report_result.outcome);
        g_report_result.done = false;
    }
    g_report_busy = false;
    if (o.ok) {
        g_report_text = o.text;
        g_report_name = o.path.filename().string();
    }
    std::string message = o.message;
    if (g_report_copy && SDL_SetClipboardText(o.text.c_str()))
        message = tr("Copied. ", "Copiado. ") + message;
    toast(message, o.ok ? 6 : 8);
    return true;
}
