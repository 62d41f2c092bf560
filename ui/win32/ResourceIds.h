#pragma once

// Resource numbers of the program's resource script, shared with the code that loads them.
#define IDI_PROGRAM 1
