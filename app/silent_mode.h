// Silent mode: the maker's update tool started this program and reads only its
// exit code, or the program runs where no one can see a window (a deployment
// tool's run as the system account, in session 0's window station).
#pragma once

// True when HKLM "SOFTWARE\Orvane Corporation\Teloq Update" `LaunchInstaller` holds 1.
bool IsLaunchedByUpdateTool();

// Whether the process's window station is the one shown to a user. A box on
// any other would wait for ever for an answer that cannot come; a station
// whose flags cannot be read counts as not shown.
bool IsWindowStationVisible();
