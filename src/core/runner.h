#pragma once
#include <string>
#include <string_view>
#include <vector>

struct RunResult {
    int code = -1;        // exit status, 128 + signal, or -1 when not started
    std::string output;   // stdout and stderr as they reached the one pipe
};

// Runs a short helper to completion; blocks the calling worker thread. The
// helper leads a process group of its own, so it and whatever it starts can
// be ended together. After end_helpers() nothing starts any more (code -1).
RunResult run_capture(const std::vector<std::string>& argv, const std::string& cwd);

// Ends every helper still running: SIGTERM to each one's group, SIGKILL to
// what is left after term_grace seconds. Returns once they are gone, or at
// the latest about term_grace + 0.3 seconds later; their own workers reap them.
void stop_helpers(double term_grace = 0.5);

// Shutdown: no helper starts from now on, and the running ones are ended.
void end_helpers();

// Helpers started by run_capture and not ended yet.
int helpers_running();

// A helper's output split at line feeds; a last line without one counts too.
std::vector<std::string_view> output_lines(const std::string& out);

// 128 + signal for a signalled child, else its exit status byte.
int decode_wait_status(int status);
