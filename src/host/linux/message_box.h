// A hook that takes the place of the modal message box, so that tests can see what would be
// shown without a person to dismiss it. Not part of the Windows interface.
#pragma once

#include "host/x11/winapi.h"

using MessageBoxHookX11 = int (*)(LPCWSTR text, LPCWSTR caption, UINT type);

// Installs `hook` (null restores the real box); returns the previous one.
MessageBoxHookX11 SetMessageBoxHookX11(MessageBoxHookX11 hook);
