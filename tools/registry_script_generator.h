// The registry scripts of the REG resources, laid out from the readable data
// of registry_script_data.cpp: script 301 for 32-bit Windows, script 302 for
// 64-bit Windows (the CLSID and Interface keys under Wow6432Node, the paths
// under "Program Files (x86)").
//
// Plain ASCII, CRLF line ends, the same bytes on every machine.
#pragma once
#include <string>

#include "tools/registry_script_data.h"

namespace regscript {

enum class ScriptPlatform { k32Bit, k64Bit };

constexpr int kScriptId32 = 301;
constexpr int kScriptId64 = 302;
constexpr int kScriptLines = 621;
constexpr int kScriptKeys = 188;

// The whole script; throws std::logic_error when the data no longer lays out
// into kScriptLines lines and kScriptKeys keys.
std::string MakeRegistryScript(ScriptPlatform platform);

// A GUID in the 20-character form of Windows Installer descriptors: its four
// 32-bit words in memory order, each as five base-85 digits, lowest first.
std::string CompressedGuid(const std::string& guid);

// The Windows Installer descriptor of a server's classes: the product, the
// feature, ">" and the component, the GUIDs compressed.
std::string InstallerDescriptor(const ComServer& server);

}  // namespace regscript
