#pragma once

// Identifiers of the program's resources, shared by the resource script and the code: plain
// macros, because the resource compiler reads this file too.
#define IDI_QUORVANEL 1
// The starter bot: its properties, then its AIML files from this number up, one after the other.
#define IDR_STARTER_PROPERTIES 100
#define IDR_STARTER_AIML 101
