// Start of the TV-recording application after the update.
#pragma once

bool RelaunchTvRecorder();
