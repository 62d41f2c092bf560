#pragma once

// The system's API for the files of this folder. <windows.h> names the default and cancel button ids as
// macros, which would rewrite the framework's own constants of the same name and value: those go.
#include <windows.h>

#undef IDOK
#undef IDCANCEL

#include "ui/DialogMessages.h"
