#pragma once
// One function per page, drawn every frame inside the page area.

void page_play(float height);
void page_game();
void page_display();
void page_controls();
void page_advanced();
void page_log();
