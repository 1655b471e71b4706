// The sales area and language of the PC; only the value 1 (the Chinese release) matters to callers.
#pragma once

int GetAreaCode();
