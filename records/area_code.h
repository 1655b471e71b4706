// The sales area and language of the PC; only the value 1 (the Chinese release) matters to callers.
#pragma once

// Asked afresh at each call: the maker's release-area and location settings
// (32-bit registry view) and the Windows locale settings.
int GetAreaCode();
