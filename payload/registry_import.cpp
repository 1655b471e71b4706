#include "payload/registry_import.h"

bool ImportRegistryScript(HINSTANCE /*module*/) {
  return false;  // Not built yet: no script is carried, nothing is imported.
}
