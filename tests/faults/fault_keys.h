// Keys of the wrapped calls and the decision for each: counted, logged to
// UPDATER_FAULT_LOG, failed when the key is UPDATER_FAULT_AT (or the process
// ended there with UPDATER_FAULT_KILL=1). A key names what a call does:
// "function<TAB>site<TAB>object<TAB>occurrence", the site being the return
// address as an offset into the image, the occurrence counted per
// (function, site, object), so that a background thread's calls do not shift
// the keys of the others.
#pragma once
#include <windows.h>

#include <string>

namespace faults {

// Whether any of the variables is set; read once, on the first call. When
// false the wrappers go straight to the system.
bool Active();

struct Decision {
  bool fail = false;
  DWORD error = 0;  // UPDATER_FAULT_ERROR, or the function's default
};

// Counts one call, logs its key and decides; ends the process when the call
// is the chosen one and UPDATER_FAULT_KILL=1.
Decision Record(const char* function, const void* returnAddress, const std::wstring& object, DWORD defaultError);

// The image offset of a return address, "0x%08x".
std::wstring SiteOf(const void* returnAddress);

// One line of the log, built from a key's parts; exposed for the key's own checks.
std::wstring KeyText(const char* function, const std::wstring& site, const std::wstring& object, unsigned occurrence);

}  // namespace faults
