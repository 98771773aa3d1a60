// <windows.h> for the Win32 backend, taken after the toolkit's header: the system's RGB and
// MessageBox macros would otherwise rename the toolkit's forms::RGB and Backend::MessageBox.
#pragma once

// clang-format off
#include "platform/forms/forms.h"
#include <windows.h>
// clang-format on
#undef MessageBox
