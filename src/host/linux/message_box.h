// A hook that takes the place of the modal message box, so that tests can see what would be
// shown without a person to dismiss it. Not part of the Windows interface.
#pragma once

#include "host/linux/winapi.h"

using MessageBoxHookLinux = int (*)(LPCWSTR text, LPCWSTR caption, UINT type);

// Installs `hook` (null restores the real box); returns the previous one.
MessageBoxHookLinux SetMessageBoxHookLinux(MessageBoxHookLinux hook);
