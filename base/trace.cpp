#include "base/trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "base/platform.h"
#include "base/win32_raii.h"

namespace {

// The text after the last backslash: the program's file name.
std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

constexpr size_t kLineBytes = 2048;  // a line of 1,023 wide characters in a double-byte code page
constexpr unsigned long kQueuedLines = 256;
// At the end of the run the lines still queued get this long, and each line
// this long at most: a viewer that stopped reading cannot keep the program.
constexpr DWORD kFlushLimitMs = 2000;
constexpr DWORD kFlushStallMs = 250;

// The lines on their way to the debug output. Plain data with static storage:
// it is never destroyed, so the trace thread may still hold a line when the
// process ends.
struct TraceQueue {
  CRITICAL_SECTION lock;
  HANDLE linesWaiting;           // auto-reset
  unsigned long queued;          // lines taken in so far
  unsigned long taken;           // lines the thread has taken out
  volatile LONG sent;            // lines handed to the system so far
  char lines[kQueuedLines][kLineBytes];
};
TraceQueue g_queue;

// Set by an administrator: HKLM, so that no standard user can turn the trace
// on. Read in the 64-bit view on 64-bit Windows, where `reg add` writes.
bool SwitchedOn() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTraceSwitchKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = REG_NONE, value = 0, size = sizeof value;
  return RegQueryValueExW(key.Get(), kTraceSwitchValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
             ERROR_SUCCESS &&
         type == REG_DWORD && size == sizeof value && value != 0;
}

// The debug output waits up to 10 s a line for a viewer's buffer, and for
// ever for the viewers' mutex, both of which any program of the session can
// create and never serve. Only this thread waits there, never the update.
DWORD WINAPI SendLines(void*) {
  char line[kLineBytes];
  for (;;) {
    WaitForSingleObject(g_queue.linesWaiting, INFINITE);
    for (;;) {
      EnterCriticalSection(&g_queue.lock);
      const bool empty = g_queue.taken == g_queue.queued;
      if (!empty) {
        std::memcpy(line, g_queue.lines[g_queue.taken % kQueuedLines], kLineBytes);
        ++g_queue.taken;
      }
      LeaveCriticalSection(&g_queue.lock);
      if (empty) break;
      OutputDebugStringA(line);
      InterlockedIncrement(&g_queue.sent);
    }
  }
}

unsigned long QueuedCount() {
  EnterCriticalSection(&g_queue.lock);
  const unsigned long queued = g_queue.queued;
  LeaveCriticalSection(&g_queue.lock);
  return queued;
}

// Lets the thread send what is queued before the process ends, for as long
// as it makes progress and at most kFlushLimitMs.
void FlushAtExit() {
  const DWORD begin = GetTickCount();
  DWORD progressAt = begin;
  LONG lastSent = g_queue.sent;
  for (;;) {
    const LONG sent = g_queue.sent;
    if (static_cast<unsigned long>(sent) == QueuedCount()) return;
    const DWORD now = GetTickCount();
    if (sent != lastSent) {
      lastSent = sent;
      progressAt = now;
    }
    if (now - progressAt > kFlushStallMs || now - begin > kFlushLimitMs) return;
    Sleep(5);
  }
}

bool StartSender() {
  InitializeCriticalSection(&g_queue.lock);
  g_queue.linesWaiting = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (g_queue.linesWaiting == nullptr) return false;
  HANDLE thread = CreateThread(nullptr, 64 * 1024, &SendLines, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  CloseHandle(thread);
  std::atexit(&FlushAtExit);
  return true;
}

// Lines go out in the order they came; when the output is not being read and
// the queue is full, a line is left out rather than waited for.
void Queue(const std::string& line) {
  static const bool started = StartSender();
  if (!started) return;
  EnterCriticalSection(&g_queue.lock);
  const bool room = g_queue.queued - g_queue.taken < kQueuedLines;
  if (room) {
    char* slot = g_queue.lines[g_queue.queued % kQueuedLines];
    const size_t length = line.size() < kLineBytes - 1 ? line.size() : kLineBytes - 1;
    std::memcpy(slot, line.data(), length);
    slot[length] = '\0';
    ++g_queue.queued;
  }
  LeaveCriticalSection(&g_queue.lock);
  if (room) SetEvent(g_queue.linesWaiting);
}

const std::wstring& Prefix() {
  static const std::wstring prefix = FileNameOf(OwnModulePath()) + L": ";
  return prefix;
}

}  // namespace

bool TraceEnabled() {
  static const bool switchedOn = SwitchedOn();
  return switchedOn || IsDebuggerPresent();
}

void Trace(const wchar_t* format, ...) {
  if (!TraceEnabled()) return;
  wchar_t text[1024];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vswprintf(text, sizeof text / sizeof text[0], format, arguments);
  va_end(arguments);
  // A line too long for the buffer is cut, never dropped.
  if (length < 0) text[sizeof text / sizeof text[0] - 1] = L'\0';
  // Sent as ANSI text: that is what OutputDebugStringW itself hands the
  // debug-output buffer that viewers read, and Wine shows only this form.
  const std::wstring line = Prefix() + text + L"\n";
  const int size = WideCharToMultiByte(CP_ACP, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string ansi(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, line.c_str(), -1, ansi.data(), size, nullptr, nullptr);
  ansi.resize(static_cast<size_t>(size - 1));
  Queue(ansi);
}
