#include "ui/chrome.h"

#include <SDL3/SDL.h>

#include <algorithm>
#include <cfloat>
#include <ctime>

#include "core/globals.h"
#include "core/port.h"
#include "core/settings.h"
#include "launch/game_process.h"
#include "ui/app.h"
#include "ui/theme.h"
#include "core/toast.h"

std::string g_pad_name;
int g_family = 0;
SDL_JoystickID g_pad_id = 0;
bool g_quit_requested = false;

namespace {

// When the east button last asked to quit; below 0 when it did not.
double g_quit_asked = -1;

void show_pad(SDL_JoystickID id) {
    g_pad_id = id;
    g_pad_name.clear();
    g_family = 0;
    if (id == 0) return;
    const char* name = SDL_GetGamepadNameForID(id);
    g_pad_name = (name && *name) ? name : "Gamepad";
    g_family = family_of_type(SDL_GetGamepadTypeForID(id));
}

}  // namespace

int family_of_type(SDL_GamepadType type) {
    switch (type) {
    case SDL_GAMEPAD_TYPE_PS3:
    case SDL_GAMEPAD_TYPE_PS4:
    case SDL_GAMEPAD_TYPE_PS5:
        return 1;
    case SDL_GAMEPAD_TYPE_NINTENDO_SWITCH_PRO:
    case SDL_GAMEPAD_TYPE_NINTENDO_SWITCH_JOYCON_PAIR:
        return 3;
    default:
        return 2;
    }
}

void refresh_gamepads() {
    int count = 0;
    SDL_JoystickID* ids = SDL_GetGamepads(&count);
    // The pad in the player's hands stays while it is connected.
    SDL_JoystickID pick = 0;
    for (int i = 0; ids && i < count; ++i)
        if (ids[i] == g_pad_id) pick = ids[i];
    if (pick == 0 && ids && count > 0) pick = ids[0];
    SDL_free(ids);
    show_pad(pick);
}

void pad_pressed(SDL_JoystickID id) {
    if (id == 0 || (id == g_pad_id && g_family != 0) || !SDL_IsGamepad(id)) return;
    show_pad(id);
}

bool quit_press(double now) {
    if (g_quit_asked >= 0 && now >= g_quit_asked && now - g_quit_asked <= QUIT_CONFIRM_SECONDS) {
        g_quit_asked = -1;
        g_quit_requested = true;
        return true;
    }
    g_quit_asked = now;
    toast(tr("Press again to quit", "Pressione de novo para sair"), QUIT_CONFIRM_SECONDS);
    return false;
}

void quit_press_reset() { g_quit_asked = -1; }

std::string pad_name_label(const std::string& name) {
    if (name.size() <= 28) return name;
    return name.substr(0, 27) + "…";
}

std::string shorten_status(const std::string& text, float room, const MeasureText& measure) {
    return shorten_end(text, room, measure);
}

std::vector<std::string> wrap_status(const std::string& text, float room, const MeasureText& measure) {
    if (measure(text) <= room) return {text};
    auto inside_char = [&](size_t i) { return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
    size_t cut = 0, skip = 0;
    for (size_t i = text.find(' '); i != std::string::npos && measure(text.substr(0, i)) <= room;
         i = text.find(' ', i + 1)) {
        cut = i;
        skip = 1;
    }
    if (cut == 0) {
        // One word wider than the room: broken inside, between characters.
        for (size_t i = 1; i < text.size(); ++i) {
            if (inside_char(i)) continue;
            if (cut != 0 && measure(text.substr(0, i)) > room) break;
            cut = i;
        }
        skip = 0;
    }
    if (cut == 0) return {shorten_end(text, room, measure)};
    std::string rest = text.substr(cut + skip);
    while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    return {text.substr(0, cut), shorten_end(rest, room, measure)};
}

std::string footer_status_text(const std::string& toast, double toast_until, double now, bool running,
                               bool started, ImU32* color) {
    ImU32 c;
    std::string text;
    if (now < toast_until) {
        c = TEXT;
        text = toast;
    } else if (running) {
        c = OK;
        text = started ? tr("● The game is running", "● O jogo está rodando")
                       : tr("● Preparing the game…", "● Preparando o jogo…");
    } else {
        c = MUTED;
        text = std::string("v") + LAUNCHER_VERSION + tr("  ·  native Linux port", "  ·  port nativo para Linux");
    }
    if (color) *color = c;
    return text;
}

std::vector<FooterHint> footer_hints(int page, bool game_running, RowKind row, bool pad) {
    std::vector<FooterHint> hints;
    switch (row) {
    case RowKind::Typing: hints.push_back({Glyph::East, "Enter", tr("Done", "Pronto"), 0}); break;
    case RowKind::Toggle: hints.push_back({Glyph::South, "Enter", tr("Switch", "Alternar"), 0}); break;
    case RowKind::Text: hints.push_back({Glyph::South, "Enter", tr("Type", "Digitar"), 0}); break;
    case RowKind::Choice:
    case RowKind::Folder:
    case RowKind::FolderSet: hints.push_back({Glyph::South, "Enter", tr("Change", "Mudar"), 0}); break;
    default: hints.push_back({Glyph::South, "Enter", tr("Select", "Selecionar"), 0}); break;
    }
    if (row == RowKind::FolderSet) hints.push_back({Glyph::West, "Del", tr("Clear", "Limpar"), 2});
    // While typing, east ends the edit: "Done" above stands for it.
    if (row != RowKind::Typing) {
        if (page != 0)
            hints.push_back({Glyph::East, "Esc", tr("Back", "Voltar"), 1});
        else if (pad && !game_running)   // the pad plays the game then
            hints.push_back({Glyph::East, "Esc", tr("Quit", "Sair"), 1});
    }
    hints.push_back({Glyph::StartButton, "F5", game_running ? tr("Stop", "Parar") : tr("Play", "Jogar"), 3});
    return hints;
}

std::vector<bool> fit_hints(const std::vector<FooterHint>& hints, const std::vector<float>& widths, float room,
                            float keep) {
    std::vector<bool> shown(hints.size(), true);
    float total = 0;
    int top_rank = 0;
    for (size_t i = 0; i < hints.size(); ++i) {
        total += i < widths.size() ? widths[i] : 0;
        top_rank = std::max(top_rank, hints[i].rank);
    }
    // The most needed hint stays even where nothing else fits.
    for (int r = top_rank; r > 0 && total > room - keep; --r)
        for (size_t i = 0; i < hints.size(); ++i)
            if (hints[i].rank == r && shown[i]) {
                shown[i] = false;
                total -= i < widths.size() ? widths[i] : 0;
            }
    return shown;
}

namespace {

bool is_chip(Glyph g) {
    return g == Glyph::LeftShoulder || g == Glyph::RightShoulder || g == Glyph::StartButton || g == Glyph::ViewButton;
}

float font_width(const char* text, float size) { return ImGui::GetFont()->CalcTextSizeA(size, FLT_MAX, 0, text).x; }

}  // namespace

const char* glyph_label(Glyph glyph, int family) {
    // PlayStation, Nintendo, everything else.
    static const char* const LABELS[4][3] = {
        {"L1", "L", "LB"},
        {"R1", "R", "RB"},
        {"Options", "+", "Menu"},
        {"Share", "−", "View"},
    };
    int row = static_cast<int>(glyph) - static_cast<int>(Glyph::LeftShoulder);
    if (row < 0 || row > 3) return "";
    int col = family == 1 ? 0 : family == 3 ? 1 : 2;
    return LABELS[row][col];
}

float glyph_width(Glyph glyph, float size) {
    if (!is_chip(glyph)) return size;
    return std::max(0.6f * size + font_width(glyph_label(glyph, g_family), 0.56f * size), 1.35f * size);
}

float draw_glyph(ImDrawList* list, ImVec2 pos, Glyph glyph, float size) {
    ImFont* font = ImGui::GetFont();
    const int family = g_family;
    if (is_chip(glyph)) {
        const char* label = glyph_label(glyph, family);
        float ls = 0.56f * size;
        float lw = font_width(label, ls);
        float w = std::max(0.6f * size + lw, 1.35f * size);
        list->AddRectFilled(pos, ImVec2(pos.x + w, pos.y + size), BUTTON_GREY, 0.35f * size);
        list->AddText(font, ls, ImVec2(pos.x + (w - lw) / 2, pos.y + (size - ls) / 2), TEXT_HI, label);
        return w;
    }
    float r = size / 2;
    ImVec2 m(pos.x + r, pos.y + r);
    list->AddCircleFilled(m, r, IM_COL32(48, 54, 64, 255), 24);
    if (family == 1) {
        float e = 0.42f * r;
        float t = std::max(1.5f, 0.09f * size);
        switch (glyph) {
        case Glyph::South: {
            ImU32 c = IM_COL32(124, 178, 232, 255);
            list->AddLine(ImVec2(m.x - e, m.y - e), ImVec2(m.x + e, m.y + e), c, t);
            list->AddLine(ImVec2(m.x + e, m.y - e), ImVec2(m.x - e, m.y + e), c, t);
            break;
        }
        case Glyph::East:
            list->AddCircle(m, 1.05f * e, IM_COL32(255, 102, 102, 255), 20, t);
            break;
        case Glyph::West:
            list->AddRect(ImVec2(m.x - e, m.y - e), ImVec2(m.x + e, m.y + e), IM_COL32(255, 105, 248, 255), 0, 0, t);
            break;
        default:
            list->AddTriangle(ImVec2(m.x, m.y - 1.1f * e), ImVec2(m.x + 1.1f * e, m.y + 0.8f * e),
                              ImVec2(m.x - 1.1f * e, m.y + 0.8f * e), IM_COL32(64, 226, 160, 255), t);
            break;
        }
        return size;
    }
    struct Mark {
        const char* letter;
        ImU32 color;
    };
    static const Mark OTHER[4] = {
        {"A", IM_COL32(96, 196, 72, 255)},
        // Light enough for 4.5:1 on the dark disc.
        {"B", IM_COL32(245, 120, 110, 255)},
        {"X", IM_COL32(110, 160, 245, 255)},
        {"Y", IM_COL32(240, 200, 60, 255)},
    };
    static const char* const NINTENDO[4] = {"B", "A", "Y", "X"};
    int i = static_cast<int>(glyph);
    const char* letter = family == 3 ? NINTENDO[i] : OTHER[i].letter;
    ImU32 color = family == 3 ? TEXT_HI : OTHER[i].color;
    float ls = 0.62f * size;
    float lw = font_width(letter, ls);
    list->AddText(font, ls, ImVec2(m.x - lw / 2, m.y - ls / 2), color, letter);
    return size;
}

TabStrip fit_tabs(const std::vector<float>& widths, int current, float room, float scale, float mark) {
    TabStrip t;
    const int n = static_cast<int>(widths.size());
    if (n == 0) return t;
    current = std::clamp(current, 0, n - 1);
    float sum = 0;
    for (float w : widths) sum += w;
    const float full = 30 * scale, least = 14 * scale;
    t.last = n - 1;
    if (sum + n * full <= room) {
        t.gap = full;
        return t;
    }
    if (sum + n * least <= room) {
        t.gap = (room - sum) / n;
        return t;
    }
    // Scroll just enough: the run ends at the current tab when it must, and
    // takes in as many tabs after it as fit.
    t.gap = least;
    t.scrolled = true;
    const float avail = room - 2 * mark;
    auto run = [&](int a, int b) {
        float w = 0;
        for (int i = a; i <= b; ++i) w += widths[i] + t.gap;
        return w;
    };
    t.first = 0;
    while (t.first < current && run(t.first, current) > avail) ++t.first;
    t.last = current;
    while (t.last + 1 < n && run(t.first, t.last + 1) <= avail) ++t.last;
    return t;
}

HeaderLayout header_layout(float W, const char* clock) {
    const float s = g_scale;
    const float gs = 26 * s;
    HeaderLayout L;
    push_font(0.86f);
    float x = 28 * s + text_width("VELTRANE") + 36 * s;
    ImGui::PopFont();
    if (g_family != 0) {
        L.lb_x = x;
        x += glyph_width(Glyph::LeftShoulder, gs) + 18 * s;
    }
    L.tabs_x = x;
    L.clock_x = W - 28 * s - text_width(clock);
    // The right chip sits 12 s into the last gap and keeps 16 s from the clock.
    L.rb_w = g_family != 0 ? glyph_width(Glyph::RightShoulder, gs) : 0;
    float room = L.clock_x - x - (g_family != 0 ? L.rb_w - 12 * s + 16 * s : 0);
    for (int i = 0; i < PAGE_COUNT; ++i) {
        L.tab_text.emplace_back(page_title(i));
        L.tab_w.push_back(text_width(page_title(i)));
    }
    const float mark = text_width("›") + 14 * s;
    L.strip = fit_tabs(L.tab_w, g_page, room, s, mark);
    if (L.strip.scrolled && L.strip.first == L.strip.last) {
        const int i = L.strip.first;
        std::string& t = L.tab_text[i];
        t = shorten_end(t, room - 2 * mark - L.strip.gap, [](const std::string& x) { return text_width(x.c_str()); });
        L.tab_w[i] = text_width(t.c_str());
    }
    L.tab_x.assign(PAGE_COUNT, -1.0f);
    if (L.strip.scrolled) x += text_width("‹") + 14 * s;
    for (int i = L.strip.first; i <= L.strip.last; ++i) {
        L.tab_x[i] = x;
        x += L.tab_w[i] + L.strip.gap;
    }
    // The right arrow follows the shown tabs, and the chip follows it.
    if (L.strip.last < PAGE_COUNT - 1) {
        L.more_x = x;
        x += mark;
    }
    L.rb_x = x - std::min(12 * s, L.strip.gap / 2);
    L.end_x = g_family != 0 ? L.rb_x + L.rb_w : x;
    return L;
}

void draw_header() {
    const float s = g_scale;
    const float W = ImGui::GetIO().DisplaySize.x;
    const float H = 64 * s;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(ImVec2(0, 0), ImVec2(W, H), HEADER);
    // A one-pixel rectangle rather than a line: SDL's software renderer drew
    // the line's right half two pixels thick.
    dl->AddRectFilled(ImVec2(0, H), ImVec2(W, H + 1), IM_COL32(0, 0, 0, 120));
    const float text_y = (H - ImGui::GetFontSize()) / 2;

    const std::string clock_text = local_time_text(std::time(nullptr), "%H:%M", "");
    const char* clock = clock_text.c_str();
    const HeaderLayout L = header_layout(W, clock);

    push_font(0.86f);
    const char* title = "VELTRANE";
    float title_y = (H - ImGui::GetFontSize()) / 2;
    dl->AddText(ImVec2(28 * s, title_y), ACCENT_SOFT, title);
    dl->AddText(ImVec2(28 * s + 0.6f, title_y), ACCENT_SOFT, title);  // heavier stroke
    ImGui::PopFont();

    const float gs = 26 * s;
    if (g_family != 0) draw_glyph(dl, ImVec2(L.lb_x, (H - gs) / 2), Glyph::LeftShoulder, gs);

    // The tabs stay out of keyboard/gamepad navigation (an invisible button
    // without EnableNav): the shoulders and page keys switch pages.
    ImVec2 saved = ImGui::GetCursorScreenPos();
    for (int i = 0; i < PAGE_COUNT; ++i) {
        if (L.tab_x[i] < 0) continue;
        const char* name = L.tab_text[i].c_str();
        const float x = L.tab_x[i], tw = L.tab_w[i];
        ImGui::PushID(i);
        ImGui::SetCursorScreenPos(ImVec2(x - std::min(10 * s, L.strip.gap / 2), 0));
        bool clicked = ImGui::InvisibleButton("tab", ImVec2(tw + std::min(20 * s, L.strip.gap), H));
        bool hovered = ImGui::IsItemHovered();
        ImGui::PopID();
        if (clicked && i != g_page) go_page(i);
        bool current = i == g_page;
        dl->AddText(ImVec2(x, text_y), current ? TEXT_HI : hovered ? TEXT : MUTED, name);
        if (current) dl->AddRectFilled(ImVec2(x, H - 4 * s), ImVec2(x + tw, H), ACCENT, 2 * s);
    }
    ImGui::SetCursorScreenPos(saved);
    // Arrows tell that the strip holds more tabs than it shows.
    if (L.strip.first > 0) dl->AddText(ImVec2(L.tabs_x, text_y), MUTED, "‹");
    if (L.more_x >= 0) dl->AddText(ImVec2(L.more_x, text_y), MUTED, "›");

    if (g_family != 0) draw_glyph(dl, ImVec2(L.rb_x, (H - gs) / 2), Glyph::RightShoulder, gs);
    dl->AddText(ImVec2(L.clock_x, text_y), TEXT, clock);

    if (g_family != 0) {
        push_font(0.8f);
        std::string name = pad_name_label(g_pad_name);
        float name_x = L.clock_x - 24 * s - text_width(name.c_str());
        if (name_x > L.end_x + 20 * s + 30 * s) {
            dl->AddText(ImVec2(name_x, (H - ImGui::GetFontSize()) / 2), MUTED, name.c_str());
            dl->AddRectFilled(ImVec2(name_x - 30 * s, H / 2 - 6 * s), ImVec2(name_x - 8 * s, H / 2 + 6 * s), MUTED,
                              6 * s);
            dl->AddCircleFilled(ImVec2(name_x - 24 * s, H / 2), 2 * s, HEADER);
            dl->AddCircleFilled(ImVec2(name_x - 14 * s, H / 2), 2 * s, HEADER);
        }
        ImGui::PopFont();
    }
}

void draw_footer() {
    const float s = g_scale;
    const ImVec2 size = ImGui::GetIO().DisplaySize;
    const float W = size.x, D = size.y;
    const float F = 56 * s;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(ImVec2(0, D - F), ImVec2(W, D), HEADER);
    dl->AddRectFilled(ImVec2(0, D - F), ImVec2(W, D - F + 1), IM_COL32(0, 0, 0, 120));
    const float base_line = ImGui::GetFontSize();

    push_font(0.9f);
    const bool running = g_game.running.load();
    ImU32 status_color = MUTED;
    std::string status =
        footer_status_text(g_toast, g_toast_until, now_seconds(), running, g_game.started.load(), &status_color);

    std::vector<FooterHint> hints = footer_hints(g_page, running, g_focused_row, g_family != 0);
    const float hint_y = D - F + (F - ImGui::GetFontSize()) / 2;
    const float gs = 26 * s;
    const float top = D - F + (F - gs) / 2;
    const float ks = 0.56f * gs;
    auto glyph_w = [&](const FooterHint& h) {
        if (g_family != 0) return h.glyph == Glyph::StartButton ? glyph_width(Glyph::StartButton, gs) : gs;
        return std::max(font_width(h.key_label, ks) + 0.6f * gs, gs);
    };
    // A toast or the game's state is news: the hints make room for it on
    // two lines. The version gives way to the hints.
    auto measure = [](const std::string& t) { return ImGui::CalcTextSize(t.c_str()).x; };
    const bool news = now_seconds() < g_toast_until || running;
    const float status_w = measure(status);
    const float keep = news ? std::min(status_w, 0.5f * status_w + 40 * s) : 0;
    std::vector<float> widths;
    for (const FooterHint& h : hints) widths.push_back(text_width(h.text) + 10 * s + glyph_w(h) + 26 * s);
    const std::vector<bool> shown = fit_hints(hints, widths, W - 76 * s, keep);
    float x = W - 28 * s;
    for (size_t i = hints.size(); i-- > 0;) {
        if (!shown[i]) continue;
        const FooterHint& h = hints[i];
        x -= text_width(h.text);
        dl->AddText(ImVec2(x, hint_y), TEXT, h.text);
        x -= 10 * s;
        const float gw = glyph_w(h);
        if (g_family != 0) {
            draw_glyph(dl, ImVec2(x - gw, top), h.glyph, gs);
        } else {
            float lw = font_width(h.key_label, ks);
            dl->AddRect(ImVec2(x - gw, top), ImVec2(x, top + gs), IM_COL32(120, 130, 140, 255), 0.2f * gs, 0, 1.5f);
            dl->AddText(ImGui::GetFont(), ks, ImVec2(x - gw + (gw - lw) / 2, top + (gs - ks) / 2), TEXT, h.key_label);
        }
        x -= 26 * s + gw;
    }

    const float room = x - 48 * s;
    std::vector<std::string> lines = news ? wrap_status(status, room, measure)
                                          : std::vector<std::string>{shorten_status(status, room, measure)};
    if (lines.size() == 1) {
        dl->AddText(ImVec2(28 * s, D - F + (F - base_line) / 2), status_color, lines[0].c_str());
    } else {
        const float lh = ImGui::GetFontSize();
        float y = D - F + (F - lh * static_cast<float>(lines.size())) / 2;
        for (const std::string& line : lines) {
            dl->AddText(ImVec2(28 * s, y), status_color, line.c_str());
            y += lh;
        }
    }
    ImGui::PopFont();
}
