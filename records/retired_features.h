// The notice about retired functions and the removal of what they left behind.
#pragma once

void ShowRetiredFeatureNotice();
void RemoveRetiredFeatureData();
void DeleteWebMediaValue();
void DeleteRetiredHelpFiles();
