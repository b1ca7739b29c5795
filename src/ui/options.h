#pragma once
// Option tables of the display settings, shared by the Play and Display pages.
#include "ui/rows.h"

inline constexpr int OUTPUT_COUNT = 12;
extern const Opt OUTPUTS[OUTPUT_COUNT];
inline constexpr int UPSCALER_COUNT = 2;
extern const Opt UPSCALERS[UPSCALER_COUNT];
inline constexpr int SHARPNESS_COUNT = 4;
extern const Opt SHARPNESS[SHARPNESS_COUNT];
inline constexpr int GPU_SUBMIT_COUNT = 3;
extern const Opt GPU_SUBMIT[GPU_SUBMIT_COUNT];
inline constexpr int PRESENT_MODE_COUNT = 3;
extern const Opt PRESENT_MODES[PRESENT_MODE_COUNT];
