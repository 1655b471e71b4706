// Membership of BUILTIN\Administrators in the process token.
#pragma once

// Returns whether the check completed; `member` is true only when the token
// holds the Administrators group enabled (a deny-only group does not count).
bool IsAdministratorsMember(bool& member);
