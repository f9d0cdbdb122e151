#pragma once
#include <functional>

// Runs onSignal from the event loop when the process is asked to terminate (SIGTERM,
// SIGINT, SIGHUP), so that it can end cleanly and take its browser helpers with it.
void WatchTerminationSignals(std::function<void()> onSignal);
