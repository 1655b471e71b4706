// The programs and services that hold the product's files, as the shutdown
// recognises them in an image path.
#pragma once
#include <array>
#include <cstddef>

// Which of the shutdown's folders a known program lives in.
enum class ProgramFolder { kProduct, kMediaSharing, kHomeNetwork, kSharedComponents };

struct KnownProgram {
  const wchar_t* executable;  // searched for in an image path
  ProgramFolder folder;
  const wchar_t* pathSuffix;  // appended to the Program Files folder to start it
  const wchar_t* quitSwitch;
};

// The upload-component programs take a lower-case switch, the others an upper-case one.
inline constexpr const wchar_t* kLowerQuitSwitch = L"/q";
inline constexpr const wchar_t* kUpperQuitSwitch = L"/Q";

// Rows 1-3 are the product's programs, asked first; rows 4-7 follow the social-network helper.
extern const std::array<KnownProgram, 7> kKnownPrograms;
inline constexpr size_t kFirstUpperSwitchProgram = 3;

// The social-network helper, terminated outright between the two groups.
inline constexpr const wchar_t* kSocialNetworkHelper = L"Socialink.exe";

struct ServiceExecutable {
  const wchar_t* executable;
  const wchar_t* service;
};

// The component services' executables, in the order they are searched for.
extern const std::array<ServiceExecutable, 3> kServiceExecutables;

// The component services in the order they are stopped.
extern const std::array<const wchar_t*, 3> kServiceStopOrder;
