// The registry script's keys and values as the editor stores them, and the
// scripts the parse refuses. The generated scripts are read through the same
// parse in registry_script_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/portable/registry_script.h"

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n";

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The text as a UTF-16LE file with its mark.
std::vector<uint8_t> Utf16File(const std::wstring& text) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  for (wchar_t c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)});
  return bytes;
}

const ScriptValue* Find(const ScriptKey& key, const std::wstring& name) {
  for (const ScriptValue& value : key.values) {
    if (value.name == name) return &value;
  }
  return nullptr;
}

void ExpectValue(const ScriptKey& key, const std::wstring& name, uint32_t type, const std::vector<uint8_t>& data) {
  const ScriptValue* value = Find(key, name);
  ASSERT_NE(value, nullptr) << "no value \"" << std::string(name.begin(), name.end()) << "\"";
  EXPECT_EQ(value->type, type) << std::string(name.begin(), name.end());
  EXPECT_EQ(value->data, data) << std::string(name.begin(), name.end());
}

TEST(RegistryScriptParse, ValuesHaveTheBytesTheRegistryHolds) {
  const ParsedScript script = ParseRegistryScript(Bytes(std::string(kHeader) +
                                                        "\r\n"
                                                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Key]\r\n"
                                                        "@=\"a\\\"b\\\\c\"\r\n"
                                                        "\"Empty\"=\"\"\r\n"
                                                        "\"Number\"=dword:0000040A\r\n"
                                                        "\"Bytes\"=hex:00,ff,10\r\n"
                                                        "\"NoBytes\"=hex:\r\n"
                                                        "\"Multi\"=hex(7):61,00,62,63,00,00\r\n"
                                                        "\"Expand\"=hex(2):25,00\r\n"
                                                        "\"Other\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                                                        "\"Wrapped\"=hex:01,02,\\\r\n"
                                                        "  03,04\r\n"
                                                        "\r\n"
                                                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Key\\Sub]\r\n"));
  ASSERT_TRUE(script.ok) << std::string(script.error.begin(), script.error.end());
  ASSERT_EQ(script.keys.size(), 2u);
  EXPECT_EQ(script.keys[0].path, L"SOFTWARE\\Test\\Key");
  EXPECT_EQ(script.keys[1].path, L"SOFTWARE\\Test\\Key\\Sub");
  EXPECT_TRUE(script.keys[1].values.empty());
  const ScriptKey& key = script.keys[0];
  EXPECT_EQ(key.values.size(), 9u);
  ExpectValue(key, L"", 1, {'a', 0, '"', 0, 'b', 0, '\\', 0, 'c', 0, 0, 0});
  ExpectValue(key, L"Empty", 1, {0, 0});
  ExpectValue(key, L"Number", 4, {0x0A, 0x04, 0, 0});
  ExpectValue(key, L"Bytes", 3, {0x00, 0xFF, 0x10});
  ExpectValue(key, L"NoBytes", 3, {});
  // In a file without the mark, the bytes of string types are ANSI characters.
  ExpectValue(key, L"Multi", 7, {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0});
  ExpectValue(key, L"Expand", 2, {'%', 0, 0, 0});
  ExpectValue(key, L"Other", 0xB, {1, 2, 3, 4, 5, 6, 7, 8});
  ExpectValue(key, L"Wrapped", 3, {1, 2, 3, 4});
}

TEST(RegistryScriptParse, Utf16FileKeepsHexBytesAndWideText) {
  const ParsedScript script = ParseRegistryScript(Utf16File(L"Windows Registry Editor Version 5.00\r\n\r\n"
                                                            L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\T\u00e9st]\r\n"
                                                            L"@=\"\u00e9\u4e2d\"\r\n"
                                                            L"\"Multi\"=hex(7):61,00,00,00,00,00\r\n"));
  ASSERT_TRUE(script.ok) << std::string(script.error.begin(), script.error.end());
  ASSERT_EQ(script.keys.size(), 1u);
  EXPECT_EQ(script.keys[0].path, L"SOFTWARE\\T\u00e9st");
  ExpectValue(script.keys[0], L"", 1, {0xE9, 0x00, 0x2D, 0x4E, 0, 0});
  ExpectValue(script.keys[0], L"Multi", 7, {'a', 0, 0, 0, 0, 0});
}

// The editor merges a key named twice and keeps the last of a value named twice.
TEST(RegistryScriptParse, KeyNamedAgainAddsToItAndValueNamedAgainReplacesIt) {
  const ParsedScript script = ParseRegistryScript(Bytes(std::string(kHeader) +
                                                        "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"x\"=dword:1\r\n"
                                                        "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n"
                                                        "\r\n[hkey_local_machine\\software\\a]\r\n\"X\"=dword:2\r\n"
                                                        "\"y\"=\"\"\r\n"));
  ASSERT_TRUE(script.ok) << std::string(script.error.begin(), script.error.end());
  ASSERT_EQ(script.keys.size(), 2u);
  EXPECT_EQ(script.keys[0].path, L"SOFTWARE\\A");
  ASSERT_EQ(script.keys[0].values.size(), 2u);
  EXPECT_EQ(script.keys[0].values[0].data, (std::vector<uint8_t>{2, 0, 0, 0}));
  EXPECT_EQ(script.keys[1].path, L"SOFTWARE\\B");
}

struct Malformed {
  const char* what;
  std::string text;
  int line;
};

TEST(RegistryScriptParse, MalformedScriptFailsNamingItsLine) {
  const std::string key = "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n";  // lines 2 and 3
  const std::string header(kHeader);
  const Malformed cases[] = {
      {"key deletion", header + "\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n", 3},
      {"value deletion", header + key + "\"v\"=-\r\n", 4},
      {"default value deletion", header + key + "@=-\r\n", 4},
      {"another root", header + "\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n", 3},
      {"the root itself", header + "\r\n[HKEY_LOCAL_MACHINE]\r\n", 3},
      {"an abbreviated root", header + "\r\n[HKLM\\SOFTWARE\\X]\r\n", 3},
      {"an empty key name", header + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\X]\r\n", 3},
      {"missing bracket", header + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X\r\n\"v\"=\"\"\r\n", 3},
      {"not a hex digit", header + key + "\"v\"=hex:0g\r\n", 4},
      {"one hex digit", header + key + "\"v\"=hex:01,2\r\n", 4},
      {"two commas", header + key + "\"v\"=hex:01,,02\r\n", 4},
      {"a comma at the end", header + key + "\"v\"=hex:01,\r\n", 4},
      {"no comma", header + key + "\"v\"=hex:0102\r\n", 4},
      {"bad hex on a continuation", header + key + "\"v\"=hex:01,\\\r\n  zz\r\n", 5},
      {"continuation at the end", header + key + "\"v\"=hex:01,\\\r\n", 4},
      {"bad hex type", header + key + "\"v\"=hex(q):01\r\n", 4},
      {"dword of nine digits", header + key + "\"v\"=dword:123456789\r\n", 4},
      {"dword not hex", header + key + "\"v\"=dword:12x\r\n", 4},
      {"unknown type", header + key + "\"v\"=qword:1\r\n", 4},
      {"no closing quote", header + key + "\"v\"=\"text\r\n", 4},
      {"unknown escape", header + key + "\"v\"=\"a\\tb\"\r\n", 4},
      {"text after a string", header + key + "\"v\"=\"a\" b\r\n", 4},
      {"no equals sign", header + key + "\"v\" \"a\"\r\n", 4},
      {"value before any key", header + "\"v\"=\"a\"\r\n", 2},
      {"another header", "REGEDIT4\r\n" + key, 1},
  };
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.what);
    const ParsedScript script = ParseRegistryScript(Bytes(c.text));
    EXPECT_FALSE(script.ok);
    EXPECT_TRUE(script.keys.empty());
    const std::string error(script.error.begin(), script.error.end());
    EXPECT_EQ(error.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << error;
  }
  // A byte that is not ASCII in a file without the mark.
  EXPECT_FALSE(ParseRegistryScript(Bytes(header + key + "@=\"\xE9\"\r\n")).ok);
}

}  // namespace
