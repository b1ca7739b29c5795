#include "support/gui.h"

#include <filesystem>

#include "core/globals.h"
#include "ui/theme.h"

namespace {
const char* const DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

Gui::Gui(float scale, ImVec2 display) {
    g_scale = scale;
    ctx = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard | ImGuiConfigFlags_NavEnableGamepad;
    io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures | ImGuiBackendFlags_HasGamepad;
    io.DisplaySize = display;
    io.DeltaTime = 1.0f / 60;
    if (std::filesystem::exists(DEJAVU))
        io.Fonts->AddFontFromFileTTF(DEJAVU, FONT_BASE);
    else
        io.Fonts->AddFontDefault();
    ImGui::GetStyle().FontSizeBase = FONT_BASE;
    apply_style();
    ImGui::GetStyle().FontScaleDpi = scale;
}

Gui::~Gui() {
    ImGui::DestroyContext(ctx);
    g_scale = 1.0f;
    g_focus_first = false;
}

void Gui::frame(const std::function<void()>& body) {
    ImGui::NewFrame();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
    ImGui::Begin("main", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings);
    body();
    ImGui::End();
    ImGui::Render();
}

void Gui::tap(ImGuiKey key, const std::function<void()>& body) {
    ImGui::GetIO().AddKeyEvent(key, true);
    frame(body);
    ImGui::GetIO().AddKeyEvent(key, false);
    frame(body);
}

void Gui::click(ImVec2 at, const std::function<void()>& body) {
    ImGuiIO& io = ImGui::GetIO();
    io.AddMousePosEvent(at.x, at.y);
    frame(body);
    io.AddMouseButtonEvent(0, true);
    frame(body);
    io.AddMouseButtonEvent(0, false);
    frame(body);
}

void Gui::focus_first_row(const std::function<void()>& body) {
    g_focus_first = true;
    frame(body);
    frame(body);
    tap(ImGuiKey_DownArrow, body);
    tap(ImGuiKey_UpArrow, body);
}
