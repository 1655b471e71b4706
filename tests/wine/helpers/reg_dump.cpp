// reg_dump.exe: prints registry keys with all their values, many keys in one
// process, as a 32-bit program sees them in either registry view (one reg.exe
// run per key costs a process start each, a whole-hive export seconds).
//
//   reg_dump.exe LIST_FILE
//
// LIST_FILE holds one request a line (UTF-8, tab-separated):
//   VIEW \t KEY \t DEPTH       VIEW 32 or 64; KEY with its root (HKLM\... or
//                              HKCU\...); DEPTH 1 for the key and every key
//                              below it, 0 for the key alone
// Output, one JSON object per key that exists (a missing key prints nothing):
//   {"request":N,"key":"HKLM\\...","values":[["name",TYPE,"HEX DATA"],...]}
// Exit code 0, 2 when the list cannot be read.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/win32_raii.h"
#include "helper_common.h"

namespace {

struct Request {
    REGSAM view = 0;
    HKEY root = nullptr;
    std::wstring rootName;
    std::wstring path;
    bool recurse = false;
};

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

bool ReadWholeFile(const wchar_t* path, std::string& bytes) {
    UniqueFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return true;
}

bool ParseRequest(const std::wstring& line, Request& request) {
    size_t tab1 = line.find(L'\t');
    size_t tab2 = tab1 == std::wstring::npos ? tab1 : line.find(L'\t', tab1 + 1);
    if (tab2 == std::wstring::npos) return false;
    std::wstring view = line.substr(0, tab1);
    std::wstring key = line.substr(tab1 + 1, tab2 - tab1 - 1);
    request.recurse = line.substr(tab2 + 1) == L"1";
    if (view == L"64") request.view = KEY_WOW64_64KEY;
    else if (view == L"32") request.view = KEY_WOW64_32KEY;
    else return false;
    size_t slash = key.find(L'\\');
    request.rootName = key.substr(0, slash);
    request.path = slash == std::wstring::npos ? std::wstring() : key.substr(slash + 1);
    if (request.rootName == L"HKLM") request.root = HKEY_LOCAL_MACHINE;
    else if (request.rootName == L"HKCU") request.root = HKEY_CURRENT_USER;
    else return false;
    return true;
}

std::string HexBytes(const BYTE* data, DWORD size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (DWORD i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

void DumpKey(HKEY key, const std::wstring& name, size_t index, REGSAM view, bool recurse, std::string& out) {
    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxValueName,
                         &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    out += "{\"request\":" + std::to_string(index) + ",\"key\":" + helper::JsonString(name) + ",\"values\":[";
    std::vector<wchar_t> valueName(maxValueName + 2);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameLength = static_cast<DWORD>(valueName.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, i, valueName.data(), &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        if (out.back() != '[') out += ",";
        out += "[" + helper::JsonString(std::wstring(valueName.data(), nameLength)) + "," + std::to_string(type) +
               ",\"" + HexBytes(data.data(), size) + "\"]";
    }
    out += "]}\n";
    if (!recurse) return;
    std::vector<wchar_t> subName(maxSubKey + 2);
    for (DWORD i = 0; i < subKeys; ++i) {
        DWORD length = static_cast<DWORD>(subName.size());
        if (RegEnumKeyExW(key, i, subName.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        std::wstring child(subName.data(), length);
        UniqueRegKey sub;
        if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ | view, sub.Receive()) != ERROR_SUCCESS) continue;
        DumpKey(sub.Get(), name + L"\\" + child, index, view, true, out);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string list;
    if (argc != 2 || !ReadWholeFile(argv[1], list)) {
        helper::WriteStderr("usage: reg_dump.exe LIST_FILE\n");
        return 2;
    }
    std::wstring text = FromUtf8(list);
    std::string out;
    size_t index = 0;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find(L'\n', begin);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        begin = end + 1;
        if (line.empty()) continue;
        Request request;
        size_t number = index++;
        if (!ParseRequest(line, request)) {
            helper::WriteStderr("reg_dump.exe: bad request line " + std::to_string(number) + "\n");
            return 2;
        }
        UniqueRegKey key;
        if (RegOpenKeyExW(request.root, request.path.c_str(), 0, KEY_READ | request.view, key.Receive()) !=
            ERROR_SUCCESS)
            continue;
        std::wstring name = request.rootName + (request.path.empty() ? L"" : L"\\" + request.path);
        DumpKey(key.Get(), name, number, request.view, request.recurse, out);
    }
    return helper::WriteStdout(out) ? 0 : 2;
}
