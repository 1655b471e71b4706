// What the media-database stand-in reads and writes beside itself:
//   - settings: the environment variable "QVLDB_<KEY>" (key in upper case)
//     first, then the key of section [StandIn] in "qvldb.ini";
//   - calls: one JSON object per line appended to "qvldb.log",
//     {"call": <member>, "object": <address>, <arguments and results>...,
//      "pid": <pid>, "tick": <GetTickCount>}.
// JSON keeps texts exact (the statement's quotes included), so that a test
// compares what the library received with what the caller meant to send.
#pragma once

#include <string>

namespace qvldb_standin {

// The folder of this library (not of the program that loaded it).
std::wstring LibraryFolder();

// A setting's text, empty when neither the environment nor the ini has it.
std::wstring Setting(const wchar_t* key);

// One log field, `"key": value`, for LogCall.
std::string Field(const char* key, const std::wstring& text);
std::string Field(const char* key, long long number);
std::string Field(const char* key, bool flag);
std::string AddressField(const char* key, const void* address);

// Appends {"call": member, fields..., "pid", "tick"} as one line.
void LogCall(const char* member, const std::string& fields);

}  // namespace qvldb_standin
