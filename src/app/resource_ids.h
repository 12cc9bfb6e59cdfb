#pragma once

// Identifiers of the program's resources, shared by the resource script and the code: plain
// macros, because the resource compiler reads this file too.
#define IDI_QUORVANEL 1
