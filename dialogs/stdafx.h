// The framework headers every dialog source includes first.
#pragma once

#include <afxwin.h>

#include <afxcmn.h>
#include <afxtempl.h>
