// Silent mode: the maker's update tool started this program and reads only its exit code.
#pragma once

// True when HKLM "SOFTWARE\Orvane Corporation\Teloq Update" `LaunchInstaller` holds 1.
bool IsLaunchedByUpdateTool();
