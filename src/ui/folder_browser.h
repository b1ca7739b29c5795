#pragma once
// The launcher's own folder browser, for a pad (and keyboard and mouse): what
// a folder choice opens on a handheld, and on the desktop when the system
// dialog cannot open. Drawn over the page; while open it holds every key and
// button, so nothing behind it reacts.

// Once per frame, after the page and the footer: follows a system dialog,
// opens the browser for a choice handed to it, draws it and takes the keys.
void draw_folder_browser();

// Whether the browser is showing.
bool folder_browser_open();

// Shutdown: stops the listing and ends a system dialog still showing.
void close_folder_choice();
