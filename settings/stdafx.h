// The framework headers every file of the settings layer builds on.
#pragma once

#ifdef _WIN32
#include <afxwin.h>
#else
#include <afx.h>
#endif
#include <afxtempl.h>
#include <mbstring.h>
