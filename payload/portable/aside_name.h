// The aside and new-file names are shared with the base (the journal and the
// trusted folders use them); this name stays for the code that includes it.
#pragma once
#include "base/portable/aside_name.h"
