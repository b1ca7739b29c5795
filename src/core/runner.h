#pragma once
#include <string>
#include <vector>

struct RunResult {
    int code = -1;        // exit status, 128 + signal, or -1 when not started
    std::string output;   // stdout and stderr as they reached the one pipe
};

// Runs a short helper to completion; blocks the calling worker thread.
RunResult run_capture(const std::vector<std::string>& argv, const std::string& cwd);

// 128 + signal for a signalled child, else its exit status byte.
int decode_wait_status(int status);
