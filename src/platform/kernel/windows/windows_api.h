// <windows.h> for the program: without the function-like macros that would rename the program's
// own names in every file that sees them (Yield, an empty macro left from 16-bit Windows, by
// cFTP::Yield; RGB by forms::RGB, which gives the same value; MessageBox by
// Backend::MessageBox). Windows-only files include this in place of <windows.h>.
#pragma once

#include <windows.h>

#undef Yield
#undef RGB
#undef MessageBox
