// The framework's non-window core, which the settings layer builds on.
#pragma once

#include <afx.h>
#include <afxtempl.h>
#include <mbstring.h>
