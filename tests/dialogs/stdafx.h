#pragma once

#include <afxwin.h>

#include <afxcmn.h>
#include <afxtempl.h>
