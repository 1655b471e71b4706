// The requestedExecutionLevel element of an application manifest: the level
// the program asks for when started, and whether it asks for UI access.
#pragma once

#include <string>
#include <vector>

struct ExecutionLevel {
  std::string level;     // empty when the attribute is missing
  std::string uiAccess;  // empty when the attribute is missing
};

// Every requestedExecutionLevel element of the manifest text, in order, with
// or without a namespace prefix. The manifest's schema allows one; a release
// check reports how many there are.
std::vector<ExecutionLevel> FindExecutionLevels(const std::string& manifest);
