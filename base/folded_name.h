// Names of files, folders and registry keys compare without regard to case:
// the folded form is the key of a map of such names.
#pragma once
#include <string>

std::wstring Folded(const std::wstring& name);
