// Closing of the maker's TV-recording application, with the user's consent, before the session.
#pragma once

// Returns only when the run goes on; a declined question ends the process with exit code 1.
void CloseTvRecorder();
