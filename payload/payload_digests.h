// The digest table that the program carries (resource DIGEST 1).
#pragma once
#include <windows.h>

#include <vector>

#include "payload/portable/digest_table.h"

// Reads the table from `module`. The HRESULT of the failed lookup when the
// resource is missing; HRESULT_FROM_WIN32(ERROR_INVALID_DATA) when it is malformed.
HRESULT LoadPayloadDigests(HINSTANCE module, std::vector<PayloadDigest>& rows);
