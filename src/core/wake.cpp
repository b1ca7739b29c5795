#include "core/wake.h"

#include <SDL3/SDL.h>
#include <atomic>
#include <thread>

namespace {

std::atomic<uint32_t> g_wake_type{0};
// Pushes under way: wake_close waits for them, so none reaches SDL after it quit.
std::atomic<int> g_pushing{0};
// One queued wake-up is enough however often workers call: a flooding game
// must not fill SDL's queue.
std::atomic<bool> g_wake_queued{false};

}  // namespace

void wake_ui() {
    g_pushing.fetch_add(1);
    uint32_t type = g_wake_type.load();
    if (type != 0 && !g_wake_queued.exchange(true)) {
        SDL_Event ev{};
        ev.type = type;
        if (!SDL_PushEvent(&ev)) g_wake_queued.store(false);
    }
    g_pushing.fetch_sub(1);
}

void wake_open() {
    g_wake_queued.store(false);
    uint32_t type = SDL_RegisterEvents(1);
    g_wake_type.store(type);
}

void wake_close() {
    g_wake_type.store(0);
    while (g_pushing.load() != 0) std::this_thread::yield();
}

uint32_t wake_event_type() { return g_wake_type.load(); }

bool wake_taken(const SDL_Event& ev) {
    uint32_t type = g_wake_type.load();
    if (type == 0 || ev.type != type) return false;
    // An exchange, so the results handed over before the worker's call are
    // seen by what the loop reads next.
    g_wake_queued.exchange(false);
    return true;
}
