#pragma once
// A Dear ImGui context without a window: frames are built and rendered to
// draw data only, with input fed the way the platform backend would.
#include <functional>
#include <imgui.h>

struct Gui {
    ImGuiContext* ctx = nullptr;

    explicit Gui(float scale = 1.0f, ImVec2 display = ImVec2(1280, 800));
    ~Gui();
    Gui(const Gui&) = delete;
    Gui& operator=(const Gui&) = delete;

    // One frame with body inside a full-display "main" window.
    void frame(const std::function<void()>& body);
    // A key pressed in one frame and released in the next.
    void tap(ImGuiKey key, const std::function<void()>& body);
    // Left click at a screen position (move, press, release: three frames).
    void click(ImVec2 at, const std::function<void()>& body);
    // Takes the focus onto the first row and shows the navigation cursor
    // (a move down and back up, as a player would).
    void focus_first_row(const std::function<void()>& body);
};
