#pragma once
// The one way the launcher starts a background worker: a detached thread
// that is never joined. Under a process limit the system may have no thread
// to spare; the start then fails without an exception, and each caller says
// what that means for its work (try again later, do it here, report it).
#include <functional>

// Runs work on a new detached thread; false, with work not run, when no
// thread could be started.
bool start_worker(std::function<void()> work);
