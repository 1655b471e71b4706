// The text of the notice about functions retired by this update.
#pragma once
#include <optional>
#include <string>
#include <string_view>

// Installed versions newer than this have already lost the first link function.
inline constexpr wchar_t kRetiredThresholdVersion[] = L"2.2.0.00000";

// The catalogue's line format with the service name in each of its first two
// "%s"; "%%" gives "%", and anything else after a "%" is copied as it stands,
// so a translated text can never read an argument that is not there.
std::wstring FormatRetiredLine(std::wstring_view lineFormat, std::wstring_view service);

// The notice, or nothing when no box is to be shown: on the Chinese release
// (area code 1) no link function is named, and a text of at most one
// character is not shown. The line of the internet content function is added
// when that function is in use, even when its text is empty.
std::optional<std::wstring> ComposeRetiredFeatureNotice(std::wstring_view lineFormat,
                                                        const std::wstring& installedVersion, int areaCode,
                                                        bool webMediaEnabled, std::wstring_view internetContentText);
