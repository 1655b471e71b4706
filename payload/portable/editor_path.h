// The path that the registry editor is given for the script the updater
// holds open: built from the final path of the held folder, which the system
// reports in the "\\?\" form.
#pragma once
#include <string>

// `folder` (a final path: "\\?\C:\..." or "\\?\UNC\server\share\...") and the
// file `name` in it, in the plain form ("C:\...", "\\server\share\...") where
// the plain form names the same file, in the "\\?\" form otherwise: for 260
// characters or more, and for a component ending in a dot or a space, which
// the plain form would drop and so name another entry.
std::wstring PathForEditor(const std::wstring& folder, const std::wstring& name);
