// The program's message boxes: no owner window, the caption of the run.
#pragma once
#include <windows.h>

#include <string>

int ShowMessageBox(const std::wstring& text, UINT type);
