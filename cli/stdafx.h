// The framework's non-window core, which the settings layer builds on. No toolkit here:
// the command line runs without a display.
#pragma once

#include <afx.h>
#include <afxtempl.h>
#include <mbstring.h>
