// This update's own identity: its version, its description and its package id.
#pragma once
#include <string>

// The program's file version, "%d.%d.%d.%05d"; empty without a version resource.
std::wstring GetOwnVersion();

// The program's FileDescription in the user's language (see ChooseDescriptionLanguage).
std::wstring GetOwnDescription();

void FillPatchIdentity(std::wstring& patchName, std::wstring& patchId, std::wstring& version);
