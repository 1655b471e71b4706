// Small utilities shared by the Win32 test helpers: UTF-8 conversion, JSON
// string escaping and writing text to files or the standard output.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace helper {

inline std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

// A JSON string literal (with its quotes) for a UTF-16 text. Control characters
// are escaped so that "\r\n" inside a message stays visible to the reader.
inline std::string JsonString(const std::wstring& text) {
    std::string out = "\"";
    std::string utf8 = ToUtf8(text);
    for (unsigned char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += "\"";
    return out;
}

inline std::string Hex32(DWORD value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(value));
    return buf;
}

// Writes bytes to a handle completely; the standard output of a Wine console
// program is a Unix pipe or terminal, so WriteFile may take several calls.
inline bool WriteAll(HANDLE handle, const std::string& bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, p, static_cast<DWORD>(left), &written, nullptr) || written == 0)
            return false;
        p += written;
        left -= written;
    }
    return true;
}

inline bool WriteStdout(const std::string& bytes) {
    return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
}

inline bool WriteStderr(const std::string& bytes) {
    return WriteAll(GetStdHandle(STD_ERROR_HANDLE), bytes);
}

// Replaces the file's content; written to a temporary name first and moved into
// place, so that a reader polling for the file never sees it half written.
inline bool WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
    std::wstring temp = path + L".part";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(h, bytes);
    CloseHandle(h);
    if (!ok) return false;
    return MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

inline bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The end of a holder: writes `report` ("ready" or the first failure) to
// READY_FILE, then, when ready, keeps what it holds until it is terminated
// (at most ten minutes, so that a forgotten holder cannot outlive a test run
// by much). Returns the holder's exit code.
inline int ReportAndHold(const wchar_t* readyFile, const std::string& report) {
    HANDLE ready = CreateFileW(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 1;
    WriteAll(ready, report);
    CloseHandle(ready);
    if (report != "ready") return 1;
    Sleep(10 * 60 * 1000);
    return 0;
}

}  // namespace helper
