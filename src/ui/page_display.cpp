#include "core/globals.h"
#include "ui/options.h"
#include "ui/pages.h"
#include "ui/theme.h"

const Opt OUTPUTS[OUTPUT_COUNT] = {
    {"1280x720", "1280 × 720 (16:9, 720p)", "1280 × 720 (16:9, 720p)"},
    {"1920x1080", "1920 × 1080 (16:9, 1080p)", "1920 × 1080 (16:9, 1080p)"},
    {"2560x1440", "2560 × 1440 (16:9, 1440p)", "2560 × 1440 (16:9, 1440p)"},
    {"3840x2160", "3840 × 2160 (16:9, 4K)", "3840 × 2160 (16:9, 4K)"},
    {"1280x800", "1280 × 800 (16:10, Steam Deck)", "1280 × 800 (16:10, Steam Deck)"},
    {"1920x1200", "1920 × 1200 (16:10)", "1920 × 1200 (16:10)"},
    {"2560x1600", "2560 × 1600 (16:10)", "2560 × 1600 (16:10)"},
    {"2560x1080", "2560 × 1080 (21:9)", "2560 × 1080 (21:9)"},
    {"3440x1440", "3440 × 1440 (21:9)", "3440 × 1440 (21:9)"},
    {"3840x1600", "3840 × 1600 (21:9)", "3840 × 1600 (21:9)"},
    {"3840x1080", "3840 × 1080 (32:9)", "3840 × 1080 (32:9)"},
    {"5120x1440", "5120 × 1440 (32:9)", "5120 × 1440 (32:9)"},
};

const Opt UPSCALERS[UPSCALER_COUNT] = {
    {"fsr1", "FSR 1 (AMD, qualquer placa)", "FSR 1 (AMD, any GPU)"},
    {"bilinear", "Bilinear (simples)", "Bilinear (plain)"},
};

const Opt SHARPNESS[SHARPNESS_COUNT] = {
    {"0", "Alta", "High"},
    {"250", "Média (padrão)", "Medium (default)"},
    {"600", "Baixa", "Low"},
    {"off", "Desligada", "Off"},
};

const Opt GPU_SUBMIT[GPU_SUBMIT_COUNT] = {
    {"auto", "Automático (ligado em NVIDIA)", "Automatic (on with NVIDIA)"},
    {"on", "Ligado (AMD/Intel: experimental)", "On (AMD/Intel: experimental)"},
    {"off", "Desligado", "Off"},
};

const Opt PRESENT_MODES[PRESENT_MODE_COUNT] = {
    {"Mailbox", "Mailbox (baixa latência)", "Mailbox (low latency)"},
    {"Fifo", "FIFO (VSync)", "FIFO (VSync)"},
    {"Immediate", "Immediate (pode cortar)", "Immediate (tearing)"},
};

void page_display() {
    section(tr("Modes", "Modos"));
    toggle_row("af16", tr("Sharp textures (16x anisotropic filtering)", "Texturas nítidas (filtro anisotrópico 16x)"),
               tr("Ground, grass and rocks stay sharp at a distance, at almost no cost.",
                  "Chão, grama e rochas ficam nítidos à distância, quase sem custo."));
    toggle_row("fps60", "60 FPS (experimental)",
               tr("Removes the game's 30 FPS cap; vblank at 120 Hz.",
                  "Tira o limite de 30 FPS do jogo; o vblank vai a 120 Hz."));

    section(tr("Resolution", "Resolução"));
    choice_row("output_res", OUTPUTS, OUTPUT_COUNT, tr("Output", "Saída"),
               tr("At 16:9 the game renders at 1080p and the upscaler enlarges it. Wider than 16:9 shows more at "
                  "the sides.",
                  "Em 16:9 o jogo renderiza em 1080p e o upscaler amplia. Mais largo que 16:9 mostra mais dos lados."),
               nullptr);
    choice_row("upscaler", UPSCALERS, UPSCALER_COUNT, "Upscaler",
               tr("FSR 1 upscales with sharp edges (above 1080p).", "FSR 1 amplia com bordas nítidas (acima de 1080p)."),
               nullptr);
    choice_row("sharpness", SHARPNESS, SHARPNESS_COUNT, tr("Sharpening (RCAS)", "Nitidez (RCAS)"), nullptr, nullptr);

    section(tr("PS4 Pro mode", "Modo PS4 Pro"));
    toggle_row("neo", tr("Present as a PS4 Pro", "Apresentar-se como PS4 Pro"),
               tr("The game offers the Pro graphics mode (Options > Presentation). Heavier.",
                  "O jogo oferece o Modo Grafismo do Pro (Opções > Apresentação). Mais pesado."));

    section(tr("Performance", "Desempenho"));
    toggle_row("perf_culling", tr("Culling without the GPU (recommended)", "Culling sem a GPU (recomendado)"),
               tr("Same image, far fewer GPU waits (Tovel-shadPS4).",
                  "Mesma imagem e bem menos esperas pela GPU (técnica do Tovel-shadPS4)."));
    toggle_row("perf_record_thread",
               tr("Vulkan commands on their own thread (recommended)", "Comandos Vulkan em thread própria (recomendado)"),
               tr("Turn it off if the game hangs.", "Desligue se notar travamentos."));
    toggle_row("perf_dma", tr("Full water reflections", "Reflexos completos da água"),
               tr("Off gains ~10% FPS, but distant water is flatter.",
                  "Desligado ganha ~10% de FPS, mas a água longe fica mais lisa."));
    choice_row("gpu_submit", GPU_SUBMIT, GPU_SUBMIT_COUNT, tr("GPU work submission", "Envio de trabalho à GPU"),
               tr("Measured on NVIDIA (+10–15%). On AMD/Intel, go back to Automatic if the screen turns black.",
                  "Medido em NVIDIA (+10–15%). Em AMD/Intel, volte para Automático se a tela ficar preta."),
               nullptr);

    section(tr("Effects", "Efeitos"));
    toggle_row("fx_vignette", tr("Vignette (darkened corners)", "Vinheta (cantos escurecidos)"), nullptr);
    toggle_row("fx_fog", tr("Atmospheric fog", "Névoa atmosférica"), nullptr);
    toggle_row("fx_ssao", tr("Ambient occlusion (SSAO)", "Oclusão ambiente (SSAO)"), nullptr);

    section(tr("Display", "Tela"));
    toggle_row("fullscreen", tr("Fullscreen", "Tela cheia"), nullptr);
    choice_row("present_mode", PRESENT_MODES, PRESENT_MODE_COUNT, tr("Presentation", "Apresentação"), nullptr, nullptr);
}
