// The applicability check of the entry.
#pragma once

// 0 when the update applies to what is installed, else message 202 or 203.
int CheckApplicability();
