#include "ui/folder_browser.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/paths.h"
#include "core/toast.h"
#include "core/wake.h"
#include "discovery/folder.h"
#include "discovery/folder_list.h"
#include "discovery/shared.h"
#include "ui/chrome.h"
#include "ui/rows.h"
#include "ui/theme.h"

namespace {

constexpr ImU32 PANEL = IM_COL32(20, 29, 40, 255);
constexpr ImU32 DIM = IM_COL32(0, 0, 0, 170);
// Kept at 4.5:1 for white text and 3:1 against the panel.
constexpr ImU32 USE_FILL = IM_COL32(20, 110, 180, 255);
constexpr ImU32 USE_HOVER = IM_COL32(24, 118, 192, 255);
constexpr ImU32 CHIP_FILL = IM_COL32(10, 16, 22, 200);
constexpr ImU32 ICON = IM_COL32(86, 150, 196, 255);
constexpr ImU32 ICON_DIM = IM_COL32(90, 110, 130, 255);

// Rows of the folder list: "Use this folder", "..", then the sub-folders.
constexpr int USE_ROW = 0;

struct Browser {
    const char* key = nullptr;   // open while not null
    std::string path;            // the folder shown
    std::shared_ptr<FolderListing> listing;
    FolderView view;
    std::vector<FolderPlace> places;
    int row = USE_ROW;
    int place = 0;
    bool in_places = false;      // the pad and keys move in the places column
    std::string reselect;        // after going up: the folder we came from, once listed
    int opened_frame = -1;
    bool scroll = true;          // bring the selected row into view
    int page_rows = 8;
    ImGuiWindow* back_window = nullptr;
};
Browser g_browser;

// What the mouse did while the browser was drawn, done after it.
struct Clicks {
    int row = -1;
    int place = -1;
    bool use = false;
    bool cancel = false;
    bool switch_column = false;
};

ImGuiID owner() {
    static const ImGuiID id = ImHashStr("quor.folder_browser");
    return id;
}

bool has_parent() { return g_browser.path != "/"; }
int first_entry_row() { return has_parent() ? 2 : 1; }
int row_count() { return first_entry_row() + static_cast<int>(g_browser.view.entries.size()); }

uint8_t marks_of(const FolderEntry& e) {
    return e.id < g_browser.view.marks.size() ? g_browser.view.marks[e.id] : 0;
}

std::string clean_path(const std::string& path) {
    std::string s = fs::path(path).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s.empty() ? "/" : s;
}

void show(const std::string& path, bool with_places) {
    if (g_browser.listing) g_browser.listing->cancelled = true;
    g_browser.path = clean_path(path);
    g_browser.view = {};
    g_browser.row = USE_ROW;
    g_browser.scroll = true;
    g_browser.reselect.clear();
    PlaceQuery q;
    if (with_places) {
        q.home = home_dir().string();
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        q.found_games = g_shared.found_games;
        q.found_modules = g_shared.found_sys_modules;
    }
    g_browser.listing = start_listing(g_browser.path, with_places, std::move(q));
}

void open_browser(const char* key) {
    g_browser = {};
    g_browser.key = key;
    g_browser.opened_frame = ImGui::GetFrameCount();
    g_browser.back_window = ImGui::GetCurrentContext()->NavWindow;
    show(folder_start(key), true);
}

void close_browser() {
    if (g_browser.listing) g_browser.listing->cancelled = true;
    ImGuiWindow* back = g_browser.back_window;
    g_browser = {};
    end_folder_choice();
    // A click on the browser took the focus: the row it was opened from gets it back.
    if (back && ImGui::GetCurrentContext()->NavWindow != back) ImGui::FocusWindow(back);
}

void go_up() {
    if (!has_parent()) return;
    fs::path p(g_browser.path);
    std::string came_from = p.filename().string();
    show(p.parent_path().string(), false);
    g_browser.reselect = came_from;
}

void use_folder() {
    queue_folder_pick(g_browser.key, g_browser.path);
    close_browser();
}

void activate_row(int row) {
    if (row == USE_ROW) return use_folder();
    if (has_parent() && row == 1) return go_up();
    int i = row - first_entry_row();
    if (i < 0 || i >= static_cast<int>(g_browser.view.entries.size())) return;
    show((fs::path(g_browser.path) / g_browser.view.entries[i].name).string(), false);
}

void activate_place(int i) {
    if (i < 0 || i >= static_cast<int>(g_browser.places.size())) return;
    g_browser.place = i;
    g_browser.in_places = false;
    show(g_browser.places[i].path, false);
}

int entry_index(const std::string& name) {
    const auto& entries = g_browser.view.entries;
    FolderEntry probe{name, 0, !name.empty() && name[0] == '.'};
    auto it = std::lower_bound(entries.begin(), entries.end(), probe, folder_order);
    return it != entries.end() && it->name == name ? static_cast<int>(it - entries.begin()) : -1;
}

// Takes what the listing brought, keeping the selected folder selected while
// new names sort in above it.
void take_arrivals() {
    if (!g_browser.listing) return;
    const int first = first_entry_row();
    std::string selected;
    int i = g_browser.row - first;
    if (i >= 0 && i < static_cast<int>(g_browser.view.entries.size())) selected = g_browser.view.entries[i].name;
    if (!take_listing(*g_browser.listing, g_browser.view)) return;
    if (g_browser.places.empty() && g_browser.view.places_ready) g_browser.places = g_browser.view.places;
    if (!selected.empty())
        if (int j = entry_index(selected); j >= 0) g_browser.row = first + j;
    if (!g_browser.reselect.empty()) {
        if (int j = entry_index(g_browser.reselect); j >= 0) {
            g_browser.row = first + j;
            g_browser.scroll = true;
            g_browser.reselect.clear();
        } else if (g_browser.view.listed) {
            g_browser.reselect.clear();
        }
    }
}

bool pressed_any(std::initializer_list<ImGuiKey> keys, bool repeat) {
    for (ImGuiKey k : keys)
        if (ImGui::IsKeyPressed(k, repeat ? ImGuiInputFlags_Repeat : ImGuiInputFlags_None, owner())) return true;
    return false;
}

const std::initializer_list<ImGuiKey> UP_KEYS = {ImGuiKey_UpArrow, ImGuiKey_GamepadDpadUp, ImGuiKey_GamepadLStickUp};
const std::initializer_list<ImGuiKey> DOWN_KEYS = {ImGuiKey_DownArrow, ImGuiKey_GamepadDpadDown,
                                                   ImGuiKey_GamepadLStickDown};
const std::initializer_list<ImGuiKey> PAGE_UP_KEYS = {ImGuiKey_PageUp, ImGuiKey_GamepadL1};
const std::initializer_list<ImGuiKey> PAGE_DOWN_KEYS = {ImGuiKey_PageDown, ImGuiKey_GamepadR1};

void handle_keys() {
    Browser& b = g_browser;
    int step = 0;
    if (pressed_any(UP_KEYS, true)) step = -1;
    if (pressed_any(DOWN_KEYS, true)) step = 1;
    if (pressed_any(PAGE_UP_KEYS, true)) step = -std::max(1, b.page_rows - 1);
    if (pressed_any(PAGE_DOWN_KEYS, true)) step = std::max(1, b.page_rows - 1);
    if (pressed_any({ImGuiKey_Home}, false)) step = -1000000000;
    if (pressed_any({ImGuiKey_End}, false)) step = 1000000000;
    if (pressed_any({ImGuiKey_LeftArrow, ImGuiKey_GamepadDpadLeft, ImGuiKey_GamepadLStickLeft}, false) &&
        !b.places.empty())
        b.in_places = true;
    if (pressed_any({ImGuiKey_RightArrow, ImGuiKey_GamepadDpadRight, ImGuiKey_GamepadLStickRight}, false))
        b.in_places = false;
    if (pressed_any({ImGuiKey_Tab}, false)) b.in_places = !b.in_places && !b.places.empty();
    if (step != 0) {
        int& at = b.in_places ? b.place : b.row;
        const int n = b.in_places ? static_cast<int>(b.places.size()) : row_count();
        at = static_cast<int>(std::clamp<long long>(static_cast<long long>(at) + step, 0, std::max(0, n - 1)));
        b.scroll = true;
        if (!b.in_places) b.reselect.clear();
    }
    if (pressed_any({ImGuiKey_GamepadFaceDown, ImGuiKey_Enter, ImGuiKey_KeypadEnter, ImGuiKey_Space}, false)) {
        if (b.in_places)
            activate_place(b.place);
        else
            activate_row(b.row);
    } else if (pressed_any({ImGuiKey_GamepadFaceLeft, ImGuiKey_Backspace}, false)) {
        go_up();
    } else if (pressed_any({ImGuiKey_GamepadFaceUp}, false)) {
        use_folder();
    } else if (pressed_any({ImGuiKey_GamepadFaceRight, ImGuiKey_Escape}, false)) {
        close_browser();
    }
}

// Keeps every key and button from the page, its rows and the hotkeys (which
// run before the browser in the next frame): held until released.
void hold_keys() {
    for (int k = ImGuiKey_NamedKey_BEGIN; k < ImGuiKey_NamedKey_END; ++k) {
        ImGuiKey key = static_cast<ImGuiKey>(k);
        if (!ImGui::IsMouseKey(key)) ImGui::SetKeyOwner(key, owner(), ImGuiInputFlags_LockUntilRelease);
    }
}

// A held direction repeats, which needs frames: the loop counts locked keys
// as not held, so it is woken instead.
bool direction_held() {
    for (auto keys : {UP_KEYS, DOWN_KEYS, PAGE_UP_KEYS, PAGE_DOWN_KEYS})
        for (ImGuiKey k : keys)
            if (ImGui::IsKeyDown(k, owner())) return true;
    return false;
}

const char* choice_title(const char* key) {
    std::string k = key ? key : "";
    if (k == "game_dir") return tr("Game folder", "Pasta do jogo");
    if (k == "sys_modules") return tr("Sound modules", "Módulos de som");
    if (k == "dlc_dir") return tr("DLC folder", "Pasta de DLC");
    if (k == "user_dir") return tr("Data folder", "Pasta de dados");
    return tr("Folder", "Pasta");
}

const char* choice_hint(const char* key) {
    std::string k = key ? key : "";
    if (k == "game_dir")
        return tr("Open the CUSA00000 dump, the folder holding eboot.bin, and use it.",
                  "Abra o dump CUSA00000, a pasta com o eboot.bin, e use-a.");
    if (k == "sys_modules")
        return tr("The folder holding libSceNgs2.sprx and libSceUlt.sprx.",
                  "A pasta com libSceNgs2.sprx e libSceUlt.sprx.");
    if (k == "dlc_dir")
        return tr("One subfolder per DLC, or shadPS4's addcont folder.",
                  "Uma subpasta por DLC, ou o addcont do shadPS4.");
    return tr("Where the saves and the shader cache are kept.", "Onde ficam os saves e o cache de shaders.");
}

std::string error_text(int error) {
    switch (error) {
    case EACCES:
    case EPERM: return tr("No permission to read this folder.", "Sem permissão para ler esta pasta.");
    case ENOENT:
    case ENOTDIR: return tr("This folder does not exist (any more).", "Esta pasta não existe (mais).");
    case EAGAIN: return tr("The folder could not be listed now. Try again.", "Não deu para listar a pasta agora. Tente de novo.");
    default: return tr("This folder could not be read.", "Não foi possível ler esta pasta.");
    }
}

std::string place_label(const FolderPlace& p) {
    switch (p.kind) {
    case PlaceKind::home: return tr("Home", "Pasta pessoal");
    case PlaceKind::found_game: return tr("Found: ", "Encontrado: ") + p.name;
    case PlaceKind::found_modules: return tr("Sound: ", "Som: ") + p.name;
    default: return p.name;
    }
}

float measure_text(const std::string& t) { return ImGui::CalcTextSize(t.c_str()).x; }

// A rounded tag right-aligned at right; returns its left edge less a gap.
float chip(ImDrawList* dl, float right, float cy, const char* text, ImU32 color) {
    const float s = g_scale;
    const float fs = ImGui::GetFontSize() * 0.78f;
    const float w = text_width(text, fs) + 16 * s, h = fs + 8 * s;
    ImVec2 a(right - w, cy - h / 2), b(right, cy + h / 2);
    dl->AddRectFilled(a, b, CHIP_FILL, h / 2);
    dl->AddRect(a, b, color, h / 2, 0, std::max(1.0f, s));
    dl->AddText(ImGui::GetFont(), fs, ImVec2(a.x + 8 * s, cy - fs / 2), color, text);
    return a.x - 8 * s;
}

float mark_chips(ImDrawList* dl, float right, float cy, uint8_t marks) {
    if (marks & MARK_SOUND) right = chip(dl, right, cy, tr("Sound modules", "Módulos de som"), ACCENT_SOFT);
    if (marks & MARK_DUMP) right = chip(dl, right, cy, tr("Game dump", "Dump do jogo"), OK);
    return right;
}

void folder_icon(ImDrawList* dl, ImVec2 at, ImU32 color) {
    const float s = g_scale;
    dl->AddRectFilled(at, ImVec2(at.x + 8 * s, at.y + 5 * s), color, 1.5f * s, ImDrawFlags_RoundCornersTop);
    dl->AddRectFilled(ImVec2(at.x, at.y + 3 * s), ImVec2(at.x + 19 * s, at.y + 15 * s), color, 2 * s);
}

void row_back(ImDrawList* dl, ImVec2 a, ImVec2 b, bool selected, bool strong, bool hovered) {
    const float s = g_scale;
    if (selected && strong) {
        dl->AddRectFilled(a, b, ROW_FOCUS, 6 * s);
        dl->AddRectFilled(a, ImVec2(a.x + 4 * s, b.y), ACCENT, 6 * s, ImDrawFlags_RoundCornersLeft);
    } else {
        dl->AddRectFilled(a, b, hovered || selected ? ROW_HOVER : ROW, 6 * s);
    }
}

// Keeps row i of n rows, step pixels apart, inside the current child window.
void scroll_into_view(int i, float step, float row_h) {
    const float y = static_cast<float>(i) * step, view_h = ImGui::GetWindowHeight(), at = ImGui::GetScrollY();
    if (y < at) ImGui::SetScrollY(y);
    else if (y + row_h > at + view_h) ImGui::SetScrollY(y + row_h - view_h);
}

void draw_places(Clicks& clicks, float w, float h) {
    const float s = g_scale;
    Browser& b = g_browser;
    const float rh = 40 * s, gap = 4 * s;
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, gap));
    if (ImGui::BeginChild("##places", ImVec2(w, h), ImGuiChildFlags_None, ImGuiWindowFlags_NoNav)) {
        ImDrawList* dl = ImGui::GetWindowDrawList();
        if (b.scroll && b.in_places) scroll_into_view(b.place, rh + gap, rh);
        for (int i = 0; i < static_cast<int>(b.places.size()); ++i) {
            const FolderPlace& p = b.places[i];
            ImVec2 a = ImGui::GetCursorScreenPos();
            const float rw = ImGui::GetContentRegionAvail().x;
            ImGui::PushID(i);
            if (ImGui::InvisibleButton("##place", ImVec2(std::max(rw, 1.0f), rh))) clicks.place = i;
            const bool hovered = ImGui::IsItemHovered();
            ImGui::PopID();
            ImVec2 z(a.x + rw, a.y + rh);
            const bool here = p.path == b.path;
            row_back(dl, a, z, b.in_places && i == b.place, true, hovered);
            const Band band = b.in_places && i == b.place ? Band::Focus : hovered ? Band::Hover : Band::Idle;
            folder_icon(dl, ImVec2(a.x + 12 * s, a.y + (rh - 15 * s) / 2), here ? on_band(ACCENT, band) : ICON_DIM);
            const float tx = a.x + 40 * s;
            std::string label = shorten_end(place_label(p), z.x - 10 * s - tx, measure_text);
            dl->AddText(ImVec2(tx, a.y + (rh - ImGui::GetFontSize()) / 2), here ? on_band(ACCENT_SOFT, band) : TEXT,
                        label.c_str());
        }
    }
    ImGui::EndChild();
    ImGui::PopStyleVar();
}

void draw_folders(Clicks& clicks, float w, float h) {
    const float s = g_scale;
    Browser& b = g_browser;
    const float rh = 42 * s, gap = 4 * s, step = rh + gap;
    b.page_rows = std::max(1, static_cast<int>(h / step));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, gap));
    if (ImGui::BeginChild("##folders", ImVec2(w, h), ImGuiChildFlags_None, ImGuiWindowFlags_NoNav)) {
        ImDrawList* dl = ImGui::GetWindowDrawList();
        if (b.scroll && !b.in_places) scroll_into_view(b.row, step, rh);
        const int first = first_entry_row(), n = row_count();
        const float fh = ImGui::GetFontSize();
        ImGuiListClipper clipper;
        clipper.Begin(n, step);
        while (clipper.Step()) {
            for (int i = clipper.DisplayStart; i < clipper.DisplayEnd; ++i) {
                ImVec2 a = ImGui::GetCursorScreenPos();
                const float rw = ImGui::GetContentRegionAvail().x;
                ImGui::PushID(i);
                if (ImGui::InvisibleButton("##row", ImVec2(std::max(rw, 1.0f), rh))) clicks.row = i;
                const bool hovered = ImGui::IsItemHovered();
                ImGui::PopID();
                ImVec2 z(a.x + rw, a.y + rh);
                const float cy = a.y + rh / 2, ty = a.y + (rh - fh) / 2, tx = a.x + 42 * s;
                row_back(dl, a, z, i == b.row, !b.in_places, hovered);
                const Band band = i == b.row ? (b.in_places ? Band::Hover : Band::Focus)
                                             : hovered ? Band::Hover : Band::Idle;
                if (i == USE_ROW) {
                    dl->AddText(ImVec2(a.x + 14 * s, ty), OK, "✓");
                    float right = mark_chips(dl, z.x - 12 * s, cy, b.view.self_marks);
                    std::string t = shorten_end(tr("Use this folder", "Usar esta pasta"), right - tx, measure_text);
                    dl->AddText(ImVec2(tx, ty), TEXT_HI, t.c_str());
                } else if (i < first) {
                    dl->AddText(ImVec2(a.x + 16 * s, ty), on_band(MUTED, band), "↑");
                    const char* up = tr("Up one folder", "Uma pasta acima");
                    const float uw = text_width(up);
                    if (tx + text_width("..") + 20 * s + uw < z.x - 12 * s)
                        dl->AddText(ImVec2(z.x - 12 * s - uw, ty), on_band(MUTED, band), up);
                    dl->AddText(ImVec2(tx, ty), TEXT, "..");
                } else {
                    const FolderEntry& e = b.view.entries[i - first];
                    folder_icon(dl, ImVec2(a.x + 13 * s, a.y + (rh - 15 * s) / 2),
                                e.hidden ? ICON_DIM : ICON);
                    float right = mark_chips(dl, z.x - 12 * s, cy, marks_of(e));
                    std::string t = shorten_end(e.name, right - tx, measure_text);
                    dl->AddText(ImVec2(tx, ty), e.hidden ? on_band(MUTED, band) : TEXT, t.c_str());
                }
            }
        }
        // How the listing stands, below the rows.
        std::string note;
        ImU32 color = MUTED;
        if (b.view.error != 0) {
            note = error_text(b.view.error);
            color = ERR;
        } else if (!b.view.listed) {
            note = tr("Listing…", "Listando…");
        } else if (b.view.entries.empty()) {
            note = tr("No folders in here.", "Nenhuma pasta aqui dentro.");
        }
        if (!note.empty()) {
            ImVec2 a = ImGui::GetCursorScreenPos();
            note = shorten_end(note, ImGui::GetContentRegionAvail().x - 28 * s, measure_text);
            dl->AddText(ImVec2(a.x + 14 * s, a.y + (rh - fh) / 2), color, note.c_str());
            ImGui::Dummy(ImVec2(1, rh));
        }
    }
    ImGui::EndChild();
    ImGui::PopStyleVar();
}

struct Hint {
    Glyph glyph;
    const char* key;
    const char* text;
};

// The pad's buttons (or the keys) along the bottom, as far as room allows.
void draw_hints(ImDrawList* dl, float x, float cy, float room_end) {
    const float s = g_scale;
    const Hint hints[] = {
        {Glyph::South, "Enter", tr("Open", "Abrir")},
        {Glyph::West, "⌫", tr("Up", "Subir")},
        {Glyph::North, nullptr, tr("Use", "Usar")},
        {Glyph::East, "Esc", tr("Cancel", "Cancelar")},
    };
    const bool pad = g_family != 0;
    const float gs = 24 * s, ks = 0.56f * gs;
    for (const Hint& h : hints) {
        if (!pad && !h.key) continue;
        const float gw = pad ? gs : std::max(text_width(h.key, ks) + 0.6f * gs, gs);
        const float w = gw + 8 * s + text_width(h.text);
        if (x + w > room_end) break;
        ImVec2 top(x, cy - gs / 2);
        if (pad) {
            draw_glyph(dl, top, h.glyph, gs);
        } else {
            dl->AddRect(top, ImVec2(x + gw, top.y + gs), IM_COL32(120, 130, 140, 255), 0.2f * gs, 0, 1.5f);
            dl->AddText(ImGui::GetFont(), ks, ImVec2(x + (gw - text_width(h.key, ks)) / 2, cy - ks / 2), TEXT, h.key);
        }
        dl->AddText(ImVec2(x + gw + 8 * s, cy - ImGui::GetFontSize() / 2), TEXT, h.text);
        x += w + 22 * s;
    }
}

// A button of the browser's bottom bar, right-aligned at right; returns its
// left edge less a gap, and whether it was clicked.
float bar_button(ImDrawList* dl, const char* id, const char* text, float right, float cy, ImU32 fill, ImU32 hover,
                 bool& clicked) {
    const float s = g_scale;
    const float w = text_width(text) + 36 * s, h = 38 * s;
    ImVec2 a(right - w, cy - h / 2);
    ImGui::SetCursorScreenPos(a);
    clicked = ImGui::InvisibleButton(id, ImVec2(w, h));
    dl->AddRectFilled(a, ImVec2(right, a.y + h), ImGui::IsItemHovered() ? hover : fill, 6 * s);
    if (fill == BUTTON_GREY) dl->AddRect(a, ImVec2(right, a.y + h), FRAME_EDGE, 6 * s, 0, std::max(1.0f, s));
    dl->AddText(ImVec2(a.x + 18 * s, cy - ImGui::GetFontSize() / 2), TEXT_HI, text);
    return a.x - 12 * s;
}

Clicks draw_browser() {
    const float s = g_scale;
    Browser& b = g_browser;
    Clicks clicks;
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    const float W = display.x, D = display.y;
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(display);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoNav |
                                   ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoScrollWithMouse;
    if (ImGui::Begin("##folder_browser", nullptr, flags)) {
        ImDrawList* dl = ImGui::GetWindowDrawList();
        dl->AddRectFilled(ImVec2(0, 0), display, DIM);
        const float pw = std::max(1.0f, std::min(W - 32 * s, 1040 * s));
        const float ph = std::max(1.0f, std::min(D - 32 * s, 760 * s));
        const ImVec2 p0((W - pw) / 2, (D - ph) / 2), p1(p0.x + pw, p0.y + ph);
        dl->AddRectFilled(p0, p1, PANEL, 10 * s);
        dl->AddRect(p0, p1, ACCENT, 10 * s, 0, 2 * s);
        const float x0 = p0.x + 20 * s, x1 = p1.x - 20 * s;
        const bool roomy = ph >= 400 * s;
        float y = p0.y + 14 * s;

        if (roomy) {
            push_font(0.84f);
            dl->AddText(ImVec2(x0, y), MUTED, tr("Choose a folder", "Escolha uma pasta"));
            y += ImGui::GetFontSize() + 2 * s;
            ImGui::PopFont();
        }
        // Too narrow for two columns, the places take the list's room while
        // they have the pad; the title's right end says how to switch.
        const bool narrow = !b.places.empty() && x1 - x0 < 600 * s;
        // Title, with how many folders are listed on its right.
        std::string count;
        if (narrow) {
            count = b.in_places ? tr("Folders ›", "Pastas ›") : tr("‹ Places", "‹ Locais");
        } else if (b.view.error == 0) {
            const size_t n = b.view.entries.size();
            count = !b.view.listed ? std::string(tr("listing… ", "listando… ")) + std::to_string(n)
                                   : std::to_string(n) + (n == 1 ? tr(" folder", " pasta") : tr(" folders", " pastas"));
        }
        push_font(0.9f);
        const float cw = text_width(count.c_str());
        ImGui::PopFont();
        push_font(1.3f);
        const float title_h = ImGui::GetFontSize();
        std::string title = shorten_end(choice_title(b.key), x1 - x0 - cw - 20 * s, measure_text);
        dl->AddText(ImVec2(x0, y), TEXT_HI, title.c_str());
        ImGui::PopFont();
        push_font(0.9f);
        const ImVec2 count_at(x1 - cw, y + (title_h - ImGui::GetFontSize()) / 2);
        dl->AddText(count_at, narrow ? ACCENT_SOFT : MUTED, count.c_str());
        if (narrow) {
            ImGui::SetCursorScreenPos(count_at);
            if (ImGui::InvisibleButton("##switch", ImVec2(std::max(cw, 1.0f), ImGui::GetFontSize())))
                clicks.switch_column = true;
        }
        ImGui::PopFont();
        y += title_h + 8 * s;

        // The folder shown, and what it holds.
        const float fh = ImGui::GetFontSize();
        float right = mark_chips(dl, x1, y + fh / 2, b.view.self_marks);
        std::string path = shorten_front(b.path, right - x0, measure_text);
        dl->AddText(ImVec2(x0, y), TEXT, path.c_str());
        y += fh + 6 * s;
        // The footer's toast is behind the dimming: news shows here.
        const bool news = now_seconds() < g_toast_until && !g_toast.empty();
        if (roomy || news) {
            push_font(0.84f);
            std::string line = shorten_end(news ? g_toast : choice_hint(b.key), x1 - x0, measure_text);
            dl->AddText(ImVec2(x0, y), news ? WARN : MUTED, line.c_str());
            y += ImGui::GetFontSize() + 6 * s;
            ImGui::PopFont();
        }
        y += 6 * s;

        const float bar_h = 58 * s;
        const float body_h = std::max(1.0f, p1.y - bar_h - y);
        const float places_w = b.places.empty() || (narrow && !b.in_places) ? 0
                               : narrow ? x1 - x0
                                        : std::clamp(0.28f * (x1 - x0), 150 * s, 280 * s);
        if (places_w > 0) {
            ImGui::SetCursorScreenPos(ImVec2(x0, y));
            draw_places(clicks, places_w, body_h);
        }
        if (!narrow || !b.in_places) {
            const float list_x = places_w > 0 ? x0 + places_w + 14 * s : x0;
            ImGui::SetCursorScreenPos(ImVec2(list_x, y));
            draw_folders(clicks, std::max(1.0f, x1 - list_x), body_h);
        }
        b.scroll = false;

        const float bar_y = p1.y - bar_h, cy = bar_y + bar_h / 2;
        dl->AddLine(ImVec2(p0.x + 2 * s, bar_y), ImVec2(p1.x - 2 * s, bar_y), IM_COL32(0, 0, 0, 120), 1);
        float left = bar_button(dl, "##use", tr("Use this folder", "Usar esta pasta"), x1, cy, USE_FILL, USE_HOVER,
                                clicks.use);
        left = bar_button(dl, "##cancel", tr("Cancel", "Cancelar"), left, cy, BUTTON_GREY, BUTTON_HOVER, clicks.cancel);
        draw_hints(dl, x0, cy, left - 10 * s);
    }
    ImGui::End();
    return clicks;
}

}  // namespace

bool folder_browser_open() { return g_browser.key != nullptr; }

void draw_folder_browser() {
    follow_folder_dialog();
    if (!g_browser.key && g_folder_choice.key && g_folder_choice.way == FolderWay::browser)
        open_browser(g_folder_choice.key);
    if (!g_browser.key) return;
    take_arrivals();
    // The press that opened the browser belongs to the row behind it.
    if (ImGui::GetFrameCount() != g_browser.opened_frame) {
        handle_keys();
        if (!g_browser.key) return;
    }
    Clicks clicks = draw_browser();
    if (clicks.use) {
        use_folder();
    } else if (clicks.cancel) {
        close_browser();
    } else if (clicks.switch_column) {
        g_browser.in_places = !g_browser.in_places && !g_browser.places.empty();
        g_browser.scroll = true;
    } else if (clicks.place >= 0) {
        activate_place(clicks.place);
    } else if (clicks.row >= 0) {
        g_browser.row = clicks.row;
        g_browser.in_places = false;
        activate_row(clicks.row);
    }
    if (!g_browser.key) return;
    hold_keys();
    if (direction_held()) wake_ui();
}

void close_folder_choice() {
    if (g_browser.listing) g_browser.listing->cancelled = true;
    close_folder_dialog();
}
