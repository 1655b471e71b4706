// The progress window as the worker sees it while the session runs: title,
// text, greyed Close, marquee bar, centred on the primary monitor, and no way
// for the user to close it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "base/messages.h"
#include "base/module_state.h"
#include "app/patch_process.h"

namespace {

struct WindowFacts {
  bool exists = false;
  bool visible = false;
  std::wstring title;
  std::wstring text;
  UINT closeState = 0;
  LONG_PTR barStyle = 0;
  RECT rect{};
  HICON bigIcon = nullptr;
  bool aliveAfterCloseAttempts = false;
};

CPatchProcess* g_process = nullptr;
WindowFacts g_facts;

std::wstring TextOf(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

HRESULT LookAtTheWindow(HRESULT, HANDLE, const InstallList*, PatchContext*) {
  const HWND window = g_process->ProgressWindow();
  g_facts.exists = IsWindow(window) != FALSE;
  g_facts.visible = IsWindowVisible(window) != FALSE;
  g_facts.title = TextOf(window);
  g_facts.text = TextOf(GetDlgItem(window, 1100));
  g_facts.closeState = GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
  g_facts.barStyle = GetWindowLongPtrW(GetDlgItem(window, 1101), GWL_STYLE);
  GetWindowRect(window, &g_facts.rect);
  g_facts.bigIcon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));

  // What a user could do: the close button (Alt+F4), a WM_CLOSE sent by
  // another program, and Escape. None of them may end the window.
  SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  SendMessageW(window, WM_CLOSE, 0, 0);
  PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(window, WM_KEYUP, VK_ESCAPE, 0);
  Sleep(300);
  g_facts.aliveAfterCloseAttempts = IsWindow(window) && IsWindowVisible(window);
  return S_OK;
}

HRESULT NoInstall(const InstallList&, HINSTANCE, HANDLE) { return S_OK; }

HRESULT RunLooking(const wchar_t* title) {
  SetModuleInstance(GetModuleHandleW(nullptr));
  CPatchProcess process({LookAtTheWindow, NoInstall, nullptr});
  g_process = &process;
  PatchContext context;
  return process.Run(InstallList{}, &context, title, GetModuleHandleW(nullptr));
}

TEST(ProgressWindow, ShowsTitleTextAndMarquee) {
  ASSERT_EQ(RunLooking(L"Mirevo"), S_OK);
  ASSERT_TRUE(g_facts.exists);
  EXPECT_TRUE(g_facts.visible);
  EXPECT_EQ(g_facts.title, L"Mirevo");
  EXPECT_EQ(g_facts.text, LoadMessage(1230));
  EXPECT_FALSE(g_facts.text.empty());
  EXPECT_TRUE(g_facts.closeState & MF_GRAYED);
  EXPECT_TRUE(g_facts.barStyle & PBS_MARQUEE);
  EXPECT_NE(g_facts.bigIcon, nullptr);
}

TEST(ProgressWindow, IsCentredOnThePrimaryMonitor) {
  ASSERT_EQ(RunLooking(L"Mirevo"), S_OK);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
  const int monitorWidth = info.rcMonitor.right - info.rcMonitor.left;
  const int monitorHeight = info.rcMonitor.bottom - info.rcMonitor.top;
  const int width = g_facts.rect.right - g_facts.rect.left;
  const int height = g_facts.rect.bottom - g_facts.rect.top;
  EXPECT_EQ(g_facts.rect.left, monitorWidth / 2 - width / 2);
  EXPECT_EQ(g_facts.rect.top, monitorHeight / 2 - height / 2);
}

TEST(ProgressWindow, UserCannotCloseIt) {
  ASSERT_EQ(RunLooking(L"Mirevo"), S_OK);
  EXPECT_TRUE(g_facts.aliveAfterCloseAttempts);
}

TEST(ProgressWindow, EmptyTitleStillShowsTheWindow) {
  ASSERT_EQ(RunLooking(L""), S_OK);
  EXPECT_TRUE(g_facts.visible);
  EXPECT_EQ(g_facts.title, L"");
}

TEST(ProgressWindow, NoTitleKeepsItHidden) {
  ASSERT_EQ(RunLooking(nullptr), S_OK);
  EXPECT_TRUE(g_facts.exists);
  EXPECT_FALSE(g_facts.visible);
}

}  // namespace
