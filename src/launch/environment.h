#pragma once
#include <string>
#include <vector>

using EnvList = std::vector<std::string>;

// Replaces the first NAME= entry in place, else appends NAME=value.
void env_set(EnvList& env, const std::string& name, const std::string& value);

// The game's complete environment from the process environment and S.
EnvList game_environment();

// Pure pieces of it, over an explicit inherited environment.
EnvList build_game_environment(const EnvList& inherited);
std::string cvar_string();
std::string modes_string();
bool is_wide_output(const std::string& res);
