// The progress window: a modeless dialog with a fixed text and a marquee bar,
// shown while the worker runs. It cannot be closed by the user.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/messages.h"
#include "base/portable/outcome.h"
#include "app/patch_process.h"
#include "base/trace.h"
#include "base/system_library.h"
#include "app/portable/window_placement.h"

namespace {

constexpr WORD kDialogId = 1000;
constexpr int kTextControlId = 1100;
constexpr int kProgressControlId = 1101;

// The session that owns the progress window; the dialog procedure gets no
// creation parameter and reads title, icons and show flag through it. Set once
// and never cleared, so a process has at most one progress window.
CPatchProcess* g_windowOwner = nullptr;

HICON LoadProgramIcon(HINSTANCE module, WORD id, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

void CentreOnPrimaryMonitor(HWND window) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return;
  // The window has no owner and starts at 0,0, i.e. on the primary monitor,
  // whose origin is 0,0: the monitor's full size is all that is needed.
  const WindowOrigin origin =
      CentredOrigin(info.rcMonitor.right - info.rcMonitor.left, info.rcMonitor.bottom - info.rcMonitor.top,
                    rect.right - rect.left, rect.bottom - rect.top);
  SetWindowPos(window, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// Sent by the worker; wParam tells whether the end of the session is held.
constexpr UINT kHoldShutdownMessage = WM_APP + 1;
// A window thread that does not answer this soon is not waited for.
constexpr UINT kHoldShutdownTimeoutMs = 5000;

// Holds or lets go of the end of the session, on the window's own thread (the
// reason belongs to the window).
void SetShutdownHeld(HWND window, bool& held, bool hold) {
  if (hold == held) return;
  held = hold;
  if (hold) {
    const std::wstring reason = LoadMessageOrEnglish(outcome::kMsgShutdownHeld);
    const bool given = ShutdownBlockReasonCreate(window, reason.c_str()) != FALSE;
    Trace(L"session: shutdown held while files are replaced%ls", given ? L"" : L" (no reason shown)");
  } else {
    ShutdownBlockReasonDestroy(window);
    Trace(L"session: shutdown no longer held");
  }
}

}  // namespace

void CPatchProcess::HoldShutdown(bool hold) {
  if (progressWindow_ == nullptr) return;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(progressWindow_, kHoldShutdownMessage, hold ? TRUE : FALSE, 0, SMTO_NORMAL,
                      kHoldShutdownTimeoutMs, &ignored);
}

INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == kHoldShutdownMessage) {
    if (g_windowOwner != nullptr) SetShutdownHeld(window, g_windowOwner->shutdownHeld_, wParam != FALSE);
    return TRUE;
  }
  if (message == WM_QUERYENDSESSION) {
    const bool held = g_windowOwner != nullptr && g_windowOwner->shutdownHeld_;
    if (held) Trace(L"session: end of the session refused while files are replaced");
    SetWindowLongPtrW(window, DWLP_MSGRESULT, held ? FALSE : TRUE);
    return TRUE;
  }
  if (message != WM_INITDIALOG) return FALSE;
  const CPatchProcess* owner = g_windowOwner;

  // Greying Close disables the caption's close button and Alt+F4.
  EnableMenuItem(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  SetWindowTextW(window, owner->title_.c_str());
  SetDlgItemTextW(window, kTextControlId, LoadMessage(outcome::kMsgProcessing).c_str());
  if (owner->largeIcon_ != nullptr) {
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(owner->largeIcon_));
  }
  if (owner->smallIcon_ != nullptr) {
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(owner->smallIcon_));
  }
  CentreOnPrimaryMonitor(window);
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | (owner->showWindow_ ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  return TRUE;
}

bool CPatchProcess::CreateProgressWindow(HINSTANCE module) {
  if (g_windowOwner == nullptr) {
    g_windowOwner = this;
    if (largeIcon_ == nullptr) largeIcon_ = LoadProgramIcon(module, iconId_, SM_CXICON, SM_CYICON);
    if (smallIcon_ == nullptr) smallIcon_ = LoadProgramIcon(module, iconId_, SM_CXSMICON, SM_CYSMICON);
    // The marquee bar's window class comes from the common controls.
    // Loaded from the system folder (the manifest picks version 6 there).
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    static const auto initCommonControls =
        SystemFunction<decltype(&InitCommonControlsEx)>(L"comctl32.dll", "InitCommonControlsEx");
    if (initCommonControls != nullptr) initCommonControls(&controls);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kDialogId), RT_DIALOG);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(loaded ? LockResource(loaded) : nullptr);
    if (dialogTemplate != nullptr) {
      progressWindow_ = CreateDialogIndirectParamW(module, dialogTemplate, nullptr, ProgressDlgProc, 0);
    }
  }
  if (progressWindow_ != nullptr) {
    SendDlgItemMessageW(progressWindow_, kProgressControlId, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(progressWindow_, kProgressControlId, PBM_SETPOS, 0, 0);
    SendDlgItemMessageW(progressWindow_, kProgressControlId, PBM_SETMARQUEE, TRUE, 0);
  }
  return progressWindow_ != nullptr;
}

void CPatchProcess::DestroyProgressWindow() {
  if (g_windowOwner != this) return;
  if (progressWindow_ != nullptr) {
    if (DestroyWindow(progressWindow_)) progressWindow_ = nullptr;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (largeIcon_ != nullptr) DestroyIcon(largeIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
  largeIcon_ = nullptr;
  smallIcon_ = nullptr;
}
