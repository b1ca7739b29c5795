// The floor of this stack on this machine: SDL3 and Dear ImGui drawing the
// library's own demo window, with the launcher's window size, renderer, font,
// screenshot rule and frame statistics, and no pacing (it draws every frame).
#include <SDL3/SDL.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <imgui.h>
#include <imgui_impl_sdl3.h>
#include <imgui_impl_sdlrenderer3.h>
#include <unistd.h>

namespace {

long long clock_ns(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The same file the launcher writes for QUOR_LAUNCHER_STATS.
struct Stats {
    int fd = -1;
    long long first_ns = 0, first_cpu = 0, warm_cpu = 0;
    void note(int frames) {
        if (fd < 0) return;
        long long cpu = clock_ns(CLOCK_PROCESS_CPUTIME_ID);
        if (frames == 1) {
            first_ns = clock_ns(CLOCK_MONOTONIC);
            first_cpu = cpu;
        }
        if (frames == 10) warm_cpu = cpu;
        char buf[256];
        int n = std::snprintf(buf, sizeof buf, "frames %d\nfirst_ns %lld\nfirst_cpu_ns %lld\nwarm_cpu_ns %lld\ncpu_ns %lld\n",
                              frames, first_ns, first_cpu, warm_cpu, cpu);
        if (n > 0 && ::pwrite(fd, buf, static_cast<size_t>(n), 0) < 0) return;
    }
};

}  // namespace

int main() {
    if (!SDL_Init(SDL_INIT_VIDEO | SDL_INIT_GAMEPAD)) return 1;
    SDL_Window* window = SDL_CreateWindow("Dear ImGui demo", 1280, 800, SDL_WINDOW_RESIZABLE);
    if (!window) return 1;
    SDL_Renderer* renderer = SDL_CreateRenderer(window, nullptr);
    if (!renderer) return 1;
    SDL_SetRenderVSync(renderer, 1);

    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard | ImGuiConfigFlags_NavEnableGamepad;
    io.IniFilename = nullptr;
    const char* fonts[] = {"/usr/share/fonts/dejavu-sans-fonts/DejaVuSans.ttf",
                           "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "/usr/share/fonts/TTF/DejaVuSans.ttf"};
    ImFontConfig cfg;
    cfg.Flags |= ImFontFlags_NoLoadError;
    bool loaded = false;
    for (const char* f : fonts)
        if (!loaded && access(f, R_OK) == 0) loaded = io.Fonts->AddFontFromFileTTF(f, 19.0f, &cfg) != nullptr;
    if (!loaded) io.Fonts->AddFontDefault();
    ImGui::GetStyle().FontSizeBase = 19.0f;
    ImGui_ImplSDL3_InitForSDLRenderer(window, renderer);
    ImGui_ImplSDLRenderer3_Init(renderer);

    const char* shot = std::getenv("QUOR_LAUNCHER_SHOT");
    int shot_frame = 30;
    if (const char* f = std::getenv("QUOR_LAUNCHER_FRAMES")) shot_frame = std::max(0, std::atoi(f));
    Stats stats;
    if (const char* p = std::getenv("QUOR_LAUNCHER_STATS"); p && *p)
        stats.fd = ::open(p, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

    int frame_count = 0;
    for (bool quit = false; !quit;) {
        SDL_Event ev;
        while (SDL_PollEvent(&ev)) {
            ImGui_ImplSDL3_ProcessEvent(&ev);
            if (ev.type == SDL_EVENT_QUIT || ev.type == SDL_EVENT_WINDOW_CLOSE_REQUESTED) quit = true;
        }
        ImGui_ImplSDLRenderer3_NewFrame();
        ImGui_ImplSDL3_NewFrame();
        ImGui::NewFrame();
        ImGui::ShowDemoWindow();
        ImGui::Render();
        SDL_SetRenderDrawColor(renderer, 14, 20, 27, 255);
        SDL_RenderClear(renderer);
        ImGui_ImplSDLRenderer3_RenderDrawData(ImGui::GetDrawData(), renderer);
        if (shot && frame_count == shot_frame) {
            if (SDL_Surface* surf = SDL_RenderReadPixels(renderer, nullptr)) {
                SDL_SaveBMP(surf, shot);
                SDL_DestroySurface(surf);
            }
            quit = true;
        }
        SDL_RenderPresent(renderer);
        ++frame_count;
        stats.note(frame_count);
    }
    if (stats.fd >= 0) ::close(stats.fd);
    ImGui_ImplSDLRenderer3_Shutdown();
    ImGui_ImplSDL3_Shutdown();
    ImGui::DestroyContext();
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
