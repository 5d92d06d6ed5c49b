// Hands each modal window that becomes active to the current session's next step.
#pragma once

namespace afxtest {

// Starts watching for modal windows; windows that come while no session expects them
// fail the running test. Needs the QApplication.
void StartWatchingWindows();

}  // namespace afxtest
