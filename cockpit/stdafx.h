// The framework headers the page's data generator builds on.
#pragma once

#ifdef _WIN32
#include <afxwin.h>
#else
#include <afx.h>
#endif
#include <afxtempl.h>
#include <mbstring.h>
