#include "app/message_box.h"

#include "base/module_state.h"

int ShowMessageBox(const std::wstring& text, UINT type) {
  return MessageBoxW(nullptr, text.c_str(), Caption(), type);
}
