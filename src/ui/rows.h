#pragma once
// Choice rows (step through an option table) and folder rows (show, choose
// and clear a folder setting), built on the row machinery of ui/theme.h.
#include <functional>
#include <string>
#include <vector>

// One entry of an option table: what is stored, and the label per language.
struct Opt {
    const char* value;
    const char* label_pt;
    const char* label_en;
};

// key must be a string literal: it is kept by the folder dialog.
void choice_row(const char* key, const Opt* opts, int count, const char* label, const char* help,
                const std::vector<std::string>* extra);
void folder_row(const char* key, const char* label, const char* help, const char* placeholder);

// The decisions behind the rows, kept free of drawing so they can be tested.
struct ChoiceItem {
    std::string value;
    std::string label;
};

// The same row over ready-made items, not tied to a setting: steps index
// (kept within the items) and returns true in the frame it changed.
bool choice_row_index(const char* id, const std::vector<ChoiceItem>& items, int& index, const char* label,
                      const char* help);

// Table entries (labels in the UI language when pt is true/false), then the
// extra names as (name, name).
std::vector<ChoiceItem> choice_items(const Opt* opts, int count, const std::vector<std::string>* extra, bool pt);

// Index of the last item whose value equals stored. With no match: when extra
// names were given and stored is not empty, (stored, stored) is appended and
// is current (*appended set); otherwise 0.
int choice_current_index(std::vector<ChoiceItem>& items, const std::string& stored, bool extra_given,
                         bool* appended = nullptr);

// Steps index by d through n items, wrapping at both ends.
int choice_step(int index, int d, int n);

using MeasureText = std::function<float(const std::string&)>;

// Cuts the end until the text fits room: each pass drops 4 bytes and appends
// "…" (so later passes remove one byte more of the original).
std::string shorten_end(const std::string& text, float room, const MeasureText& measure);

// Keeps the end of a path (the folder's own name) behind a leading "…".
std::string shorten_front(const std::string& path, float room, const MeasureText& measure);
