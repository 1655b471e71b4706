#include "control/portable/known_programs.h"

#include "payload/portable/patch_file_table.h"

const std::array<KnownProgram, 7> kKnownPrograms = {{
    {kMainProgram, ProgramFolder::kProduct, L"\\Orvane\\Mirevo\\Travio.exe", kLowerQuitSwitch},
    {kHelperProgram, ProgramFolder::kProduct, L"\\Orvane\\Mirevo\\TravioHelper.exe", kLowerQuitSwitch},
    {kUploaderProgram, ProgramFolder::kProduct, L"\\Orvane\\Mirevo\\TravioUploader.exe", kLowerQuitSwitch},
    {L"Castwell.exe", ProgramFolder::kMediaSharing, L"\\Orvane\\Castwell\\Castwell.exe", kUpperQuitSwitch},
    {L"Homereel.exe", ProgramFolder::kHomeNetwork, L"\\Orvane\\Homereel\\Homereel.exe", kUpperQuitSwitch},
    {kSharedTrayProgram, ProgramFolder::kSharedComponents,
     L"\\Common Files\\Orvane Shared\\QVLLib\\Traylet.exe", kUpperQuitSwitch},
    {L"Libhost.exe", ProgramFolder::kSharedComponents, L"\\Common Files\\Orvane Shared\\QVLLib\\Libhost.exe",
     kUpperQuitSwitch},
}};

const std::array<ServiceExecutable, 3> kServiceExecutables = {{
    {L"QVLCImp.exe", L"QVLCImp"},
    {L"QVLDs.exe", L"QVLDs"},
    {L"QVLDms.exe", L"QVLDms"},
}};

const std::array<const wchar_t*, 3> kServiceStopOrder = {L"QVLDms", L"QVLCImp", L"QVLDs"};
