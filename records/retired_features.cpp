#include "records/retired_features.h"

// Not built yet: no notice is shown and nothing retired is removed.
void ShowRetiredFeatureNotice() {}
void RemoveRetiredFeatureData() {}
void DeleteWebMediaValue() {}
void DeleteRetiredHelpFiles() {}
