// Runs the area decision or the retired-feature notice alone, with the
// updater's own resources, so that scenarios can drive them under other
// locales and answer the notice with the watcher (the updater shows it only
// when its install list has rows).
//   records_probe.exe area     exit code: the area code
//   records_probe.exe notice   reads the installed version as the entry does,
//                              shows the notice; exit code 0
#include <windows.h>

#include <string>

#include "base/module_state.h"
#include "applicability/installed_product.h"
#include "records/area_code.h"
#include "records/retired_features.h"

int wmain(int argc, wchar_t** argv) {
  SetModuleInstance(GetModuleHandleW(nullptr));
  const std::wstring command = argc == 2 ? argv[1] : L"";
  if (command == L"area") return GetAreaCode();
  if (command == L"notice") {
    ReadInstalledVersion();
    ShowRetiredFeatureNotice();
    return 0;
  }
  return 255;
}
