// The framework headers every file of the settings service and its clients build on.
#pragma once

#ifdef _WIN32
#include <afxwin.h>
#else
#include <afx.h>
#endif
#include <afxtempl.h>
#include <mbstring.h>
