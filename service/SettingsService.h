// The settings service: the privileged half of saving the viewer's settings. It owns
// org.marrowick.Settings1 on the system bus and applies the change sets callers send to the
// machine's own hive, after checking them with the settings' rules and asking polkit whether
// the caller may (see Wire.h for the method). It serves one call after another and ends
// when nobody has called for a while; the bus starts it again on the next call.
#pragma once

#include <chrono>

namespace marrowick::service {

// Serves until idle for idleTime; returns the process's exit status.
int RunSettingsService(std::chrono::milliseconds idleTime);

}  // namespace marrowick::service
