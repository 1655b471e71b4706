// What a wrapped call touches, as text that is the same on every run on the
// same PC: paths in one spelling with their run-dependent parts masked,
// handles by the name they were opened with, registry keys by root, view and
// path, services by name.
#pragma once
#include <windows.h>

#include <string>

namespace faults {

// A path as a key's object: no trailing NUL, backslashes only, no "\\?\" or
// "\??\" prefix, case kept; the process id, tick count and random parts of the
// program's temporary names ("x.new.<pid>-<ticks>", "x.tmp.<pid>-<ticks>",
// "name.<pid>-<random>.tmp") written as "*".
std::wstring PathObject(const wchar_t* path);
std::wstring PathObject(const wchar_t* path, size_t length);

// Names of kernel handles (files, folders, processes) noted when a wrapper
// opened them. Unnoted file handles are named by their final path.
void NoteHandle(HANDLE handle, const std::wstring& object);
std::wstring HandleObject(HANDLE handle);

// Service control handles: the manager as "SCM", services by name.
void NoteService(SC_HANDLE handle, const std::wstring& name);
std::wstring ServiceObject(SC_HANDLE handle);

// Registry keys: "HKLM\Path\Of\Key" with the view after the root when the
// call asked for one ("HKLM(64)\...", "HKLM(32)\..."); values as
// "<key>|<value name>".
std::wstring KeyObject(HKEY parent, const wchar_t* subkey, REGSAM access);
void NoteKey(HKEY key, HKEY parent, const wchar_t* subkey, REGSAM access);
std::wstring ValueObject(HKEY key, const wchar_t* value);

// A process by its image path (opened for the query alone), or "process".
std::wstring ProcessObject(DWORD processId);

// The program a process creation starts: the application name, or the
// first word of the command line.
std::wstring ProgramObject(const wchar_t* application, const wchar_t* commandLine);

}  // namespace faults
