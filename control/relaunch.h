// Start of the TV-recording application after the update.
#pragma once
#include <string>

// The application's executable under the Program Files folder last read by
// GetProgramFilesFolder.
std::wstring TvRecorderPath();

// Starts the application hidden, without parameters and without waiting for
// it; false when its file is missing or the start failed.
bool RelaunchTvRecorder();
