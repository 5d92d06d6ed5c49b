// Windows declares the transaction functions in <ktmw32.h>; here <windows.h> holds them,
// so that code including both compiles unchanged on either platform.
#pragma once

#include <windows.h>
