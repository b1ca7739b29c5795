#include <SDL3/SDL.h>
#include <algorithm>
#include <cstdio>
#include <cmath>
#include <imgui.h>
#include <mutex>

#include "core/globals.h"
#include "core/port.h"
#include "core/paths.h"
#include "core/settings.h"
#include "discovery/scan.h"
#include "discovery/shared.h"
#include "launch/game_process.h"
#include "launch/play.h"
#include "launch/snapshots.h"
#include "ui/app.h"
#include "ui/images.h"
#include "ui/layers.h"
#include "ui/options.h"
#include "ui/page_play.h"
#include "ui/pages.h"
#include "ui/rows.h"
#include "ui/theme.h"
#include "core/toast.h"

namespace {

// Below the banner: the item gap, the Play button and room for its focus ring.
constexpr float PLAY_ROOM = 8 + 64 + 16;

ImU32 brighten(ImU32 c) {
    ImVec4 v = ImGui::ColorConvertU32ToFloat4(c);
    v.x = std::min(1.0f, v.x * 1.18f);
    v.y = std::min(1.0f, v.y * 1.18f);
    v.z = std::min(1.0f, v.z * 1.18f);
    return ImGui::ColorConvertFloat4ToU32(v);
}

}  // namespace

float banner_height(float page_height, float scale) {
    const float h = std::min(420 * scale, std::max(200 * scale, 0.46f * page_height));
    return std::max(0.0f, std::min(h, page_height - PLAY_ROOM * scale));
}

BannerText banner_text(float H, float scale, int sub_lines, float line) {
    const float s = scale;
    const float big = 2.4f * FONT_BASE * s;
    BannerText t{big, H - 70 * s - big, std::max(sub_lines, 0)};
    if (t.title_y >= 12 * s && t.title_y + big + 6 * s + static_cast<float>(t.sub_lines) * line <= H - 8 * s) return t;
    // Low: the block sits 10 s above the bottom and below the top.
    const float avail = H - 20 * s, least = 1.2f * FONT_BASE * s;
    auto block = [&](int n) { return n > 0 ? 6 * s + static_cast<float>(n) * line : 0.0f; };
    while (t.sub_lines > 0 && avail - block(t.sub_lines) < least) --t.sub_lines;
    t.title_size = std::min(big, avail - block(t.sub_lines));
    if (t.title_size < 0.8f * FONT_BASE * s) t.title_size = 0;
    t.title_y = H - 10 * s - block(t.sub_lines) - t.title_size;
    return t;
}

PlayLook play_look(bool running, bool ok, bool lit, bool pt) {
    PlayLook look;
    if (running) {
        look = {tr(pt, "■   STOP", "■   PARAR"), IM_COL32(150, 60, 50, 255), IM_COL32(110, 40, 35, 255), TEXT_HI};
    } else if (ok) {
        // White on this green stays under 3.5:1; the page's own dark is 5:1.
        look = {tr(pt, "▶   PLAY", "▶   JOGAR"), GREEN_TOP, GREEN_BOTTOM, BG_BOTTOM};
    } else {
        // A shade deeper than the accent, so white keeps 4.5:1 when lit.
        look = {tr(pt, "CHOOSE THE GAME", "ESCOLHER O JOGO"), IM_COL32(24, 104, 190, 255), IM_COL32(16, 76, 150, 255),
                TEXT_HI};
    }
    if (lit) {
        look.top = brighten(look.top);
        look.bottom = brighten(look.bottom);
    }
    return look;
}

ImU32 gradient_at(float y, float height) {
    float t = height > 0 ? std::clamp(y / height, 0.0f, 1.0f) : 0.0f;
    auto mix = [t](ImU32 a, ImU32 b, int shift) {
        float x = static_cast<float>((a >> shift) & 0xFF), z = static_cast<float>((b >> shift) & 0xFF);
        return static_cast<ImU32>(std::lround(x + (z - x) * t)) << shift;
    };
    return mix(BG_TOP, BG_BOTTOM, IM_COL32_R_SHIFT) | mix(BG_TOP, BG_BOTTOM, IM_COL32_G_SHIFT) |
           mix(BG_TOP, BG_BOTTOM, IM_COL32_B_SHIFT) | mix(BG_TOP, BG_BOTTOM, IM_COL32_A_SHIFT);
}

Crop banner_crop(float W, float H, float tw, float th) {
    if (tw <= 0 || th <= 0 || W <= 0 || H <= 0) return {ImVec2(0, 0), ImVec2(1, 1)};
    float k = std::max(H / th, W / tw);
    float u = W / k / tw, v = H / k / th;
    ImVec2 uv0((1 - u) * 0.5f, (1 - v) * 0.35f);
    return {uv0, ImVec2(uv0.x + u, uv0.y + v)};
}

float hill_y(int layer, int k, float base, float amplitude) {
    double i = layer;
    return base - static_cast<float>((0.6 + 0.4 * std::sin(0.11 * k + i)) * (0.5 + 0.5 * std::sin(0.37 * k + 1.7 * i)) *
                                     amplitude);
}

std::string play_summary(const Settings& s, bool pt) {
    const std::string sep = "  ·  ";
    std::string out = s.on("fps60") ? "60 FPS" : tr(pt, "30 FPS (as on PS4)", "30 FPS (como no PS4)");
    std::string res = s.get("output_res");
    if (size_t x = res.find('x'); x != std::string::npos) res.replace(x, 1, " × ");
    out += sep + res;
    out += s.get("upscaler") == "bilinear" ? sep + "bilinear" : sep + "FSR 1";
    if (s.on("af16")) out += sep + tr(pt, "16x AF", "AF 16x");
    if (s.on("neo")) out += sep + "PS4 Pro";
    out += sep + (s.on("fullscreen") ? tr(pt, "fullscreen", "tela cheia") : tr(pt, "window", "janela"));
    return out;
}

std::vector<std::string> break_at_separators(const std::string& text, float room,
                                             const std::function<float(const std::string&)>& measure) {
    const std::string sep = "  ·  ";
    std::vector<std::string> lines;
    std::string line;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(sep, start);
        std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.empty())
            line = part;
        else if (measure(line + sep + part) <= room)
            line += sep + part;
        else {
            lines.push_back(shorten_end(line, room, measure));
            line = part;
        }
        if (end == std::string::npos) break;
        start = end + sep.size();
    }
    lines.push_back(shorten_end(line, room, measure));
    return lines;
}

Check game_check(const GameInfo& info, int eboot_state, bool pt, const std::string& game_dir) {
    if (!info.ok && !game_dir.empty() && !is_dir(game_dir))
        return {ERR, "✗  " + std::string(tr(pt, "Game folder not found: ", "Pasta do jogo não encontrada: ")) + game_dir};
    if (!info.ok)
        return {ERR, tr(pt, "✗  Game folder not set (Game & saves)", "✗  Pasta do jogo não escolhida (Jogo e saves)")};
    const std::string ver = tr(pt, " version ", " versão ");
    bool known_build = info.title_id == GAME_ID && info.app_ver == "01.01";
    if (eboot_state == 1 || (eboot_state < 0 && known_build))
        return {OK, std::string("✓  ") + GAME_ID +
                        tr(pt, " version 01.01: every mode", " versão 01.01: todos os modos")};
    if (eboot_state == -1)
        return {MUTED, "•  " + info.title_id + ver + info.app_ver + tr(pt, ": checking…", ": verificando…")};
    return {WARN, "⚠  " + info.title_id + ver + info.app_ver +
                      tr(pt, ": the modes (60 FPS, AF) target EU 1.01", ": os modos (60 FPS, AF) são da EU 1.01")};
}

int count_dlc(const std::string& dlc_dir) {
    if (dlc_dir.empty() || !is_dir(dlc_dir)) return 0;
    fs::path root = dlc_dir;
    if (is_dir(root / GAME_ID)) root /= GAME_ID;
    int n = 0;
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        if (is_dir(it->path()) && is_file(it->path() / "sce_sys" / "param.sfo")) ++n;
    return n;
}

Check dlc_check(int n, bool pt) {
    if (n > 0) return {TEXT, "✓  DLC: " + std::to_string(n) + tr(pt, " installed", " instalada(s)")};
    return {MUTED, tr(pt, "•  No DLC", "•  Sem DLC")};
}

Check sound_check(bool ready, bool pt) {
    if (ready) return {TEXT, tr(pt, "✓  Sound modules found", "✓  Módulos de som encontrados")};
    return {WARN, tr(pt, "⚠  No sound modules: the game is silent", "⚠  Sem os módulos de som: o jogo fica mudo")};
}

Check saves_check(bool found, bool pt) {
    if (found) return {TEXT, tr(pt, "✓  Saves found", "✓  Saves encontrados")};
    return {MUTED, tr(pt, "•  No saves yet (the game creates them)", "•  Ainda sem saves (o jogo cria)")};
}

Check gpu_check(int gpu_state, const std::string& gpu_name, bool pt) {
    switch (gpu_state) {
    case 0: return {MUTED, tr(pt, "•  Checking the graphics card…", "•  Verificando a placa de vídeo…")};
    case 1: return {TEXT, "✓  " + gpu_name};
    case 2:
        return {ERR, tr(pt, "✗  No Vulkan 1.3 graphics card (update the driver)",
                        "✗  Nenhuma placa com Vulkan 1.3 (atualize o driver)")};
    default: return {MUTED, tr(pt, "•  Graphics card not checked", "•  Placa de vídeo não verificada")};
    }
}

std::vector<Check> ready_checks(const GameInfo& info) {
    int eboot_state;
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        eboot_state = g_shared.eboot_state;
    }
    int gpu_state;
    std::string gpu_name;
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        gpu_state = g_shared.gpu_state;
        gpu_name = g_shared.gpu_name;
    }
    return {game_check(info, eboot_state, g_pt, S.get("game_dir")), dlc_check(count_dlc(S.get("dlc_dir")), g_pt),
            sound_check(sound_ready(), g_pt),
            saves_check(dir_has_entries(save_folder()), g_pt),
            gpu_check(gpu_state, gpu_name, g_pt)};
}

namespace {

float measure_text(const std::string& t) { return ImGui::CalcTextSize(t.c_str()).x; }

ImU32 with_alpha(ImU32 c, int a) { return (c & ~IM_COL32_A_MASK) | (static_cast<ImU32>(a) << IM_COL32_A_SHIFT); }

// The banner's picture (or its drawn landscape) with its two shades, at P.
void draw_banner_layer(ImDrawList* dl, ImVec2 P, float W, float H, float alpha) {
    const float bottom = P.y + H;
    if (g_banner.texture && g_banner.w > 0 && g_banner.h > 0) {
        Crop c = banner_crop(W, H, static_cast<float>(g_banner.w), static_cast<float>(g_banner.h));
        dl->AddImage(ImTextureRef(reinterpret_cast<ImTextureID>(g_banner.texture)), P, ImVec2(P.x + W, bottom), c.uv0,
                     c.uv1, with_alpha(IM_COL32_WHITE, static_cast<int>(alpha * 255 + 0.5f)));
    } else if (!g_banner.loading) {
        dl->AddRectFilledMultiColor(P, ImVec2(P.x + W, bottom), IM_COL32(42, 71, 94, 255), BG_TOP, BG_BOTTOM,
                                    BG_BOTTOM);
        for (int i = 0; i < 3; ++i) {
            ImU32 col = IM_COL32(20 + 6 * i, 32 + 8 * i, 44 + 10 * i, 255);
            float base = bottom - (0.18f + 0.1f * static_cast<float>(2 - i)) * H;
            float A = 0.12f * H;
            float px = P.x, py = hill_y(i, 0, base, A);
            for (int k = 1; k <= 48; ++k) {
                float x = P.x + static_cast<float>(k) * W / 48.0f, y = hill_y(i, k, base, A);
                dl->AddQuadFilled(ImVec2(px, py), ImVec2(x, y), ImVec2(x, bottom), ImVec2(px, bottom), col);
                px = x;
                py = y;
            }
        }
    }
    dl->AddRectFilledMultiColor(P, ImVec2(P.x + 0.65f * W, bottom), with_alpha(BG_BOTTOM, 200), with_alpha(BG_BOTTOM, 0),
                                with_alpha(BG_BOTTOM, 0), with_alpha(BG_BOTTOM, 200));
    dl->AddRectFilledMultiColor(ImVec2(P.x, bottom - 0.55f * H), ImVec2(P.x + W, bottom), with_alpha(BG_TOP, 0),
                                with_alpha(BG_TOP, 0), BG_TOP, BG_TOP);
}

// The banner's picture, hills and shades at P, as a layer where it can be.
void draw_banner_picture(ImDrawList* dl, ImVec2 P, float W, float H) {
    // Picture, hills and shades change only with the size and the picture:
    // drawn once into a texture, copied every frame (and kept for the next
    // start, see keep_banner_layer). A picture still loading or fading in is
    // drawn directly until it stands still.
    const int tw = static_cast<int>(std::ceil(W)), th = static_cast<int>(std::ceil(H));
    const float D = ImGui::GetIO().DisplaySize.y;
    const char* renderer = g_renderer ? SDL_GetRendererName(g_renderer) : nullptr;
    char geometry[96];
    std::snprintf(geometry, sizeof geometry, "%s|%dx%d@%.2f/%.2f|", LAUNCHER_VERSION, tw, th, P.y, D);
    const std::string key = geometry + std::string(renderer ? renderer : "") + "|" + g_banner.source +
                            (g_banner.texture || g_banner.deferred ? "" : "|no picture");
    SDL_Texture* layer = adopt_kept_banner(g_banner_layer, key);
    if (!layer && g_banner.deferred && g_banner_layer.key != key) want_banner_picture(g_exact_frames);
    const float alpha = banner_alpha(now_seconds());
    // While the picture decodes for a new size, the banner last shown (a
    // layer outlives no change of picture) stretches over it.
    SDL_Texture* stale = g_banner.loading ? g_banner_layer.texture : nullptr;
    if (g_banner.loading && !stale) g_banner.shown_loading = true;
    if (!layer && !g_banner.loading && alpha >= 1) {
        layer = layer_texture(g_banner_layer, key, tw, th, [&](ImDrawList* l) {
            // What lies beneath: the window's background gradient at this
            // height, over every row of the texture (the banner's own height
            // may end inside the last one, which must not stay black).
            const float tb = P.y + static_cast<float>(th);
            l->AddRectFilledMultiColor(ImVec2(0, 0), ImVec2(static_cast<float>(tw), static_cast<float>(th)),
                                       gradient_at(P.y, D), gradient_at(P.y, D), gradient_at(tb, D), gradient_at(tb, D));
            draw_banner_layer(l, ImVec2(0, 0), W, H, 1);
        });
    }
    if (!layer && stale) layer = stale;
    if (layer)
        dl->AddImage(ImTextureRef(reinterpret_cast<ImTextureID>(layer)), P,
                     ImVec2(P.x + static_cast<float>(tw), P.y + static_cast<float>(th)));
    else
        draw_banner_layer(dl, P, W, H, alpha);
}

void draw_banner(float page_height, const GameInfo& info) {
    const float s = g_scale;
    const float H = banner_height(page_height, s);
    const float W = ImGui::GetContentRegionAvail().x;
    const ImVec2 P = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    refresh_banner(g_exact_frames);
    if (!g_layout_pass) draw_banner_picture(dl, P, W, H);

    ImFont* font = ImGui::GetFont();
    std::string sub;
    if (info.ok)
        sub = info.title_id + "  ·  " + tr("version ", "versão ") + info.app_ver + "  ·  " +
              tr("native Linux port", "port nativo para Linux");
    else
        sub = tr("Native Linux port  ·  choose your dump's folder",
                 "Port nativo para Linux  ·  escolha a pasta do seu dump");
    // A narrow window breaks the subtitle between its parts.
    const std::vector<std::string> lines = break_at_separators(sub, W - 2 * 48 * s, measure_text);
    const BannerText bt = banner_text(H, s, static_cast<int>(lines.size()), ImGui::GetTextLineHeight());
    const ImVec2 T(P.x + 48 * s, P.y + bt.title_y);
    if (bt.title_size > 0) {
        dl->AddText(font, bt.title_size, ImVec2(T.x + 2, T.y + 2), IM_COL32(0, 0, 0, 140), "Veltrane");
        dl->AddText(font, bt.title_size, T, TEXT_HI, "Veltrane");
        dl->AddText(font, bt.title_size, ImVec2(T.x + 0.8f, T.y), TEXT_HI, "Veltrane");
    }
    float y = T.y + bt.title_size + 6 * s;
    for (int i = 0; i < bt.sub_lines; ++i) {
        dl->AddText(ImVec2(T.x, y), ACCENT_SOFT, lines[static_cast<size_t>(i)].c_str());
        y += ImGui::GetTextLineHeight();
    }
    ImGui::Dummy(ImVec2(W, H));
}

void draw_play_button(float CW, bool ok) {
    const float s = g_scale;
    ImVec2 size(std::min(340 * s, CW), 64 * s);
    take_focus_first();
    ImVec2 p = ImGui::GetCursorScreenPos();
    bool activated = ImGui::InvisibleButton("play", size, ImGuiButtonFlags_EnableNav);
    bool hovered = ImGui::IsItemHovered();
    bool focus_shown = ImGui::IsItemFocused() && nav_cursor_visible();
    report_row(RowKind::Button);
    const PlayLook look = play_look(g_game.running.load(), ok, hovered || focus_shown, g_pt);
    const char* label = look.label;
    const ImU32 top = look.top, bot = look.bottom;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImVec2 q(p.x + size.x, p.y + size.y);
    dl->AddRectFilled(p, q, bot, 6 * s);
    dl->AddRectFilledMultiColor(ImVec2(p.x + 1.8f * s, p.y + 1 * s), ImVec2(q.x - 1.8f * s, q.y - 1 * s), top, top, bot,
                                bot);
    if (focus_shown) {
        // The ring lies outside the column that clips the button; it may
        // reach past it, not into the header or footer.
        const float D = ImGui::GetIO().DisplaySize.y;
        dl->PushClipRect(ImVec2(p.x - 5 * s, std::max(p.y - 5 * s, 64 * s)),
                         ImVec2(q.x + 5 * s, std::min(q.y + 5 * s, D - 56 * s)), false);
        dl->AddRect(ImVec2(p.x - 3 * s, p.y - 3 * s), ImVec2(q.x + 3 * s, q.y + 3 * s), TEXT_HI, 8 * s, 0, 2 * s);
        dl->PopClipRect();
    }
    ImFont* font = ImGui::GetFont();
    float fs = ImGui::GetStyle().FontSizeBase * 1.3f * ImGui::GetStyle().FontScaleDpi;
    ImVec2 ts = font->CalcTextSizeA(fs, FLT_MAX, 0, label);
    // A narrow column's button keeps its whole label.
    if (ts.x > size.x - 24 * s && ts.x > 0) {
        fs *= std::max(size.x - 24 * s, 1.0f) / ts.x;
        ts = font->CalcTextSizeA(fs, FLT_MAX, 0, label);
    }
    ImVec2 c(p.x + (size.x - ts.x) / 2, p.y + (size.y - ts.y) / 2);
    if (look.ink == TEXT_HI) dl->AddText(font, fs, ImVec2(c.x + 1, c.y + 1), IM_COL32(0, 0, 0, 90), label);
    dl->AddText(font, fs, c, look.ink, label);
    dl->AddText(font, fs, ImVec2(c.x + 0.6f, c.y), look.ink, label);
    if (activated) press_play();
    ImGui::Dummy(ImVec2(0, 6 * s));
}

void draw_card(float K, const GameInfo& info) {
    const float s = g_scale;
    std::vector<Check> lines = ready_checks(info);
    // A line wider than the card wraps between words, so its key words stay.
    const float wrap = std::max(1.0f, K - 36 * s);
    ImFont* font = ImGui::GetFont();
    const float fs = ImGui::GetFontSize();
    std::vector<float> heights;
    float card_h = 56 * s;
    for (const Check& c : lines) {
        heights.push_back(font->CalcTextSizeA(fs, FLT_MAX, wrap, c.text.c_str()).y);
        card_h += heights.back() + 12 * s;
    }
    ImVec2 Q = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(Q, ImVec2(Q.x + K, Q.y + card_h), CARD, 8 * s);
    dl->AddText(font, fs * 0.86f, ImVec2(Q.x + 18 * s, Q.y + 16 * s), ACCENT_SOFT, tr("READY CHECK", "VERIFICAÇÃO"));
    float y = Q.y + 46 * s;
    for (size_t i = 0; i < lines.size(); ++i) {
        dl->AddText(font, fs, ImVec2(Q.x + 18 * s, y), lines[i].color, lines[i].text.c_str(), nullptr, wrap);
        y += heights[i] + 12 * s;
    }
    ImGui::Dummy(ImVec2(K, card_h));
}

}  // namespace

void page_play(float height) {
    const float s = g_scale;
    // One read of the dump's metadata serves the banner, the button and the card.
    const GameInfo info = game_info(S.get("game_dir"));
    draw_banner(height, info);
    const float M = 48 * s;
    const float inner = ImGui::GetContentRegionAvail().x - 2 * M;
    const float CW = std::max(1.0f, std::min(640 * s, 0.56f * inner));
    ImGui::SetCursorPosX(ImGui::GetCursorPosX() + M);
    ImGui::BeginGroup();
    if (ImGui::BeginChild("play_left", ImVec2(CW, 0), ImGuiChildFlags_NavFlattened | ImGuiChildFlags_AutoResizeY)) {
        draw_play_button(CW, info.ok);
        const char* status;
        std::string summary;
        if (g_game.running.load()) {
            status = g_game.started.load() ? tr("The game is running.", "O jogo está rodando.")
                                           : tr("Preparing the game…", "Preparando o jogo…");
        } else {
            summary = play_summary(S, g_pt);
            status = summary.c_str();
        }
        ImGui::PushStyleColor(ImGuiCol_Text, MUTED);
        std::string shown;
        for (const std::string& line : break_at_separators(status, CW, measure_text))
            shown += (shown.empty() ? "" : "\n") + line;
        ImGui::TextUnformatted(shown.c_str());
        ImGui::PopStyleColor();
        section(tr("Quick settings", "Ajustes rápidos"));
        choice_row("output_res", OUTPUTS, OUTPUT_COUNT, tr("Output", "Saída"), nullptr, nullptr);
        choice_row("upscaler", UPSCALERS, UPSCALER_COUNT, "Upscaler", nullptr, nullptr);
        toggle_row("fps60", "60 FPS (experimental)", nullptr);
        toggle_row("af16", tr("Sharp textures (16x filtering)", "Texturas nítidas (filtro 16x)"), nullptr);
        toggle_row("fullscreen", tr("Fullscreen", "Tela cheia"), nullptr);
    }
    ImGui::EndChild();
    ImGui::EndGroup();
    const float K = inner - CW - 32 * s;
    if (K > 220 * s) {
        ImGui::SameLine(0, 32 * s);
        ImGui::BeginGroup();
        draw_card(K, info);
        ImGui::EndGroup();
    }
}
