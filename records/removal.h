// Removal of the work folder after a successful update.
#pragma once

void RemoveWorkFolder();
