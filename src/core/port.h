#pragma once
// What the launcher relies on from the port it starts.

inline constexpr const char* PORT_STARTER = "quor.py";
inline constexpr const char* PORT_INI = "quor.ini";
inline constexpr const char* PORT_SCRIPTS_DIR = "scripts";
inline constexpr const char* PORT_LAUNCHER_DIR = "launcher";
inline constexpr const char* PORT_ICON = "quor.png";
inline constexpr const char* GPU_PROBE = "orn-gpu-capabilities";
inline constexpr const char* GPU_PROBE_ARG = "--live-resolution";
inline constexpr const char* START_MARKER = "Entering original x86-64 code";
inline constexpr const char* PYTHON = "python3";
inline constexpr const char* LAUNCHER_INI = "launcher.ini";
inline constexpr const char* LAUNCHER_INI_HEADER = "# Veltrane launcher (Linux)";
inline constexpr const char* LAUNCHER_VERSION = "0.60.6-revo26";
