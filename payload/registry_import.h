// Import of the registry script that registers the component servers.
#pragma once
#include <windows.h>

bool ImportRegistryScript(HINSTANCE module);
