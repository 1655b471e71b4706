// msgbox_watcher.exe: runs beside the program under test in the same Wine
// session, records every message box and progress dialog that appears, and
// answers the message boxes from a scripted list.
//
//   msgbox_watcher.exe --log FILE [--answers LIST] [--release-dir DIR]
//                      [--stop-file FILE] [--watch-process NAME [--grace-ms N]]
//                      [--ready-file FILE] [--shots-dir DIR]
//                      [--poll-ms N] [--timeout-ms N]
//
// It stops when the stop file appears, when the process named NAME (an exe
// file name, compared without regard to case) was seen and has then been gone
// for the grace period (default 500 ms), or after the timeout (default 300 s).
//
// Windows of class "#32770" are examined once they are visible:
// - a message box has push buttons (IDOK..IDCONTINUE); its caption, text, icon
//   kind, buttons and default button are logged, then it is answered;
// - a progress dialog has a static control 1100 and a "msctls_progress32"
//   control 1101 and no push button; it is logged (title, rectangle, text) and
//   never touched;
// - any other dialog is logged as such and left alone.
//
// LIST is comma separated, one entry per message box in order of appearance:
// ok, cancel, abort, retry, ignore, yes, no, tryagain, continue, or default
// (the box's default button). An entry prefixed with "hold-" (for example
// hold-ok) leaves its box open until the file DIR\release-N exists, N being the
// box's number (1-based). Boxes beyond the list get "default".
//
// The log has one JSON object per line (UTF-8), flushed at once:
//   {"event":"ready", ...}
//   {"event":"msgbox","seq":S,"box":N,"caption":..,"text":..,"icon":..,"buttons":[..],...}
//   {"event":"answered","box":N,"button":"OK",...}
//   {"event":"progress","seq":S,"title":..,"rect":[l,t,r,b],"text":..,...}
//   {"event":"dialog","seq":S,"title":..,...}       another dialog, left alone
//   {"event":"closed","seq":S,...}                  a logged window went away
//   {"event":"hidden_dialog","kind":..,...}         a dialog ended unseen
//   {"event":"unanswered","box":N,...}              still open at the stop
//   {"event":"stop","reason":..,...}
// With --shots-dir, after each msgbox or progress event the watcher waits (at
// most 10 s) for the file DIR\S.done before it goes on, so that the harness can
// take a screenshot of the screen as it is.
//
// The icon of a message box cannot be read across processes under Wine (icon
// handles belong to the process that loaded them), so the watcher compares the
// pixels of the box's icon control on the screen with the system icons that it
// draws itself: "hand", "exclamation", "information", "question", "none" when
// the icon control holds no icon, "unknown" when nothing matched.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "helper_common.h"

namespace {

using helper::JsonString;

// Wine numbers the text control of a message box 100, Windows 0xFFFF.
const int kMsgBoxTextIds[] = {0xFFFF, 100};
const int kProgressTextId = 1100;
const int kProgressBarId = 1101;
const DWORD kIconSettleMs = 5000;
const DWORD kProcessCheckMs = 100;
const DWORD kShotWaitMs = 10000;

struct ButtonName {
    int id;
    const wchar_t* token;
    const char* name;
};
const ButtonName kButtons[] = {
    {IDOK, L"ok", "OK"},           {IDCANCEL, L"cancel", "Cancel"},
    {IDABORT, L"abort", "Abort"},  {IDRETRY, L"retry", "Retry"},
    {IDIGNORE, L"ignore", "Ignore"}, {IDYES, L"yes", "Yes"},
    {IDNO, L"no", "No"},           {IDTRYAGAIN, L"tryagain", "TryAgain"},
    {IDCONTINUE, L"continue", "Continue"},
};

const char* ButtonNameOf(int id) {
    for (const auto& b : kButtons)
        if (b.id == id) return b.name;
    return nullptr;
}

struct Answer {
    std::wstring token = L"default";
    bool hold = false;
};

struct Options {
    std::wstring log;
    std::vector<Answer> answers;
    std::wstring release_dir;
    std::wstring stop_file;
    std::wstring ready_file;
    std::wstring shots_dir;
    std::wstring watch_process;
    DWORD grace_ms = 500;
    DWORD poll_ms = 20;
    DWORD timeout_ms = 300000;
};

enum class Kind { Unknown, MessageBox, Progress, OtherDialog };

struct Tracked {
    HWND hwnd = nullptr;
    Kind kind = Kind::Unknown;
    DWORD visible_since = 0;
    bool logged = false;
    bool answered = false;
    bool alive = true;
    int seq = 0;
    int box = 0;
    Answer answer;
};

DWORD g_start = 0;
HANDLE g_log = INVALID_HANDLE_VALUE;

DWORD Elapsed() { return GetTickCount() - g_start; }

void Log(const std::string& json_body) {
    std::string line = "{" + json_body + ",\"t_ms\":" + std::to_string(Elapsed()) + "}\n";
    helper::WriteAll(g_log, line);
    FlushFileBuffers(g_log);
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

// Window text through WM_GETTEXT, which Windows and Wine marshal between
// processes; a hung owner cannot block the watcher for long.
std::wstring TextOf(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, 2000, &copied))
        return std::wstring();
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::string RectJson(const RECT& rc) {
    return "[" + std::to_string(rc.left) + "," + std::to_string(rc.top) + "," +
           std::to_string(rc.right) + "," + std::to_string(rc.bottom) + "]";
}

std::wstring ProcessName(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return std::wstring();
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    std::wstring name;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
        if (entry.th32ProcessID == pid) {
            name = entry.szExeFile;
            break;
        }
    }
    CloseHandle(snap);
    return name;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

bool ProcessRuns(const std::wstring& name) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL ok = Process32FirstW(snap, &entry); ok && !found; ok = Process32NextW(snap, &entry))
        found = _wcsicmp(entry.szExeFile, name.c_str()) == 0;
    CloseHandle(snap);
    return found;
}

// Tells when a watched process has been seen and then stayed gone for the
// grace period.
class ProcessEnd {
public:
    explicit ProcessEnd(const Options& options) : options_(options) {}
    bool Reached() {
        if (options_.watch_process.empty()) return false;
        DWORD now = Elapsed();
        if (now - last_check_ < kProcessCheckMs && last_check_ != 0) return false;
        last_check_ = now;
        if (ProcessRuns(options_.watch_process)) {
            seen_ = true;
            gone_since_ = 0;
            return false;
        }
        if (!seen_) return false;
        if (!gone_since_) gone_since_ = now;
        return now - gone_since_ >= options_.grace_ms;
    }

private:
    const Options& options_;
    bool seen_ = false;
    DWORD gone_since_ = 0;
    DWORD last_check_ = 0;
};

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&out));
    return out;
}

struct ButtonInfo {
    HWND hwnd;
    int id;
    std::wstring text;
    bool is_default;
    LONG x;
};

std::vector<ButtonInfo> PushButtons(HWND box) {
    std::vector<ButtonInfo> out;
    for (HWND child : Children(box)) {
        if (GetParent(child) != box) continue;
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") != 0) continue;
        // The style bit, not IsWindowVisible: the buttons of a box that is not
        // shown yet count as well, so a box is never mistaken for another dialog.
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (!(style & WS_VISIBLE)) continue;
        int id = GetDlgCtrlID(child);
        if (!ButtonNameOf(id)) continue;
        RECT rc;
        GetWindowRect(child, &rc);
        out.push_back({child, id, TextOf(child), (style & 0x0F) == BS_DEFPUSHBUTTON, rc.left});
    }
    std::sort(out.begin(), out.end(),
              [](const ButtonInfo& a, const ButtonInfo& b) { return a.x < b.x; });
    return out;
}

Kind Classify(HWND dialog) {
    if (!PushButtons(dialog).empty()) return Kind::MessageBox;
    HWND text = GetDlgItem(dialog, kProgressTextId);
    HWND bar = GetDlgItem(dialog, kProgressBarId);
    if (text && bar && _wcsicmp(ClassOf(text).c_str(), L"Static") == 0 &&
        _wcsicmp(ClassOf(bar).c_str(), L"msctls_progress32") == 0)
        return Kind::Progress;
    return Kind::OtherDialog;
}

HWND IconControl(HWND box) {
    for (HWND child : Children(box)) {
        if (GetParent(child) != box) continue;
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0) continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
    }
    return nullptr;
}

// Pixels of a screen area or of a drawing, 32 bits per pixel, top-down.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<DWORD> data;
};

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_) old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        if (old_) SelectObject(dc_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
    }
    bool ok() const { return bitmap_ != nullptr; }
    HDC dc() const { return dc_; }
    Pixels Read() const {
        GdiFlush();
        Pixels p;
        p.width = width_;
        p.height = height_;
        const DWORD* src = static_cast<const DWORD*>(bits_);
        p.data.assign(src, src + static_cast<size_t>(width_) * height_);
        for (DWORD& px : p.data) px &= 0x00FFFFFF;
        return p;
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

bool CaptureScreen(const RECT& area, Pixels* out) {
    int w = area.right - area.left;
    int h = area.bottom - area.top;
    if (w <= 0 || h <= 0 || w > 256 || h > 256) return false;
    Canvas canvas(w, h);
    if (!canvas.ok()) return false;
    HDC screen = GetDC(nullptr);
    BOOL ok = BitBlt(canvas.dc(), 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    if (!ok) return false;
    *out = canvas.Read();
    return true;
}

Pixels DrawSystemIcon(LPCWSTR id, int w, int h, DWORD background) {
    Canvas canvas(w, h);
    if (!canvas.ok()) return Pixels();
    // background is 0x00RRGGBB as read from the DIB; GDI wants 0x00BBGGRR.
    COLORREF color = RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF);
    HBRUSH brush = CreateSolidBrush(color);
    RECT rc = {0, 0, w, h};
    FillRect(canvas.dc(), &rc, brush);
    DeleteObject(brush);
    DrawIconEx(canvas.dc(), 0, 0, LoadIconW(nullptr, id), w, h, 0, nullptr, DI_NORMAL);
    return canvas.Read();
}

// Pixels that differ by more than a small amount in any channel.
size_t Mismatches(const Pixels& a, const Pixels& b) {
    if (a.data.size() != b.data.size()) return static_cast<size_t>(-1);
    size_t count = 0;
    for (size_t i = 0; i < a.data.size(); ++i) {
        DWORD x = a.data[i], y = b.data[i];
        for (int shift = 0; shift < 24; shift += 8) {
            int d = static_cast<int>((x >> shift) & 0xFF) - static_cast<int>((y >> shift) & 0xFF);
            if (d > 8 || d < -8) {
                ++count;
                break;
            }
        }
    }
    return count;
}

struct IconResult {
    std::string kind;  // empty while undecided
    std::string detail;
};

IconResult ClassifyIcon(HWND box) {
    IconResult result;
    HWND control = IconControl(box);
    DWORD_PTR icon = 0;
    if (!control ||
        !SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon) ||
        icon == 0 || !IsWindowVisible(control)) {
        result.kind = "none";
        return result;
    }
    RECT rc;
    GetClientRect(control, &rc);
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    Pixels shot;
    if (!CaptureScreen(rc, &shot)) {
        result.detail = "capture failed";
        return result;
    }
    DWORD background = shot.data[0];
    if (std::all_of(shot.data.begin(), shot.data.end(),
                    [&](DWORD px) { return px == background; })) {
        result.detail = "not painted";
        return result;
    }
    struct Candidate {
        const char* kind;
        LPCWSTR id;
    };
    const Candidate candidates[] = {{"hand", IDI_HAND},
                                    {"exclamation", IDI_EXCLAMATION},
                                    {"information", IDI_ASTERISK},
                                    {"question", IDI_QUESTION}};
    size_t best = static_cast<size_t>(-1);
    const char* best_kind = nullptr;
    for (const auto& c : candidates) {
        size_t m = Mismatches(shot, DrawSystemIcon(c.id, shot.width, shot.height, background));
        result.detail += std::string(c.kind) + "=" + std::to_string(m) + " ";
        if (m < best) {
            best = m;
            best_kind = c.kind;
        }
    }
    // A few stray pixels are tolerated (a caret or focus mark crossing the icon).
    if (best_kind && best * 50 <= shot.data.size()) result.kind = best_kind;
    return result;
}

std::wstring MessageBoxText(HWND box) {
    for (int id : kMsgBoxTextIds) {
        HWND control = GetDlgItem(box, id);
        if (control && _wcsicmp(ClassOf(control).c_str(), L"Static") == 0) return TextOf(control);
    }
    return std::wstring();
}

std::string OwnerJson(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return "\"pid\":" + std::to_string(pid) + ",\"process\":" + JsonString(ProcessName(pid));
}

void WaitForShot(const Options& options, int seq) {
    if (options.shots_dir.empty()) return;
    std::wstring done = options.shots_dir + L"\\" + std::to_wstring(seq) + L".done";
    DWORD begin = GetTickCount();
    while (!helper::FileExists(done) && GetTickCount() - begin < kShotWaitMs) Sleep(10);
}

class Watcher {
public:
    explicit Watcher(const Options& options) : options_(options) {}

    void Scan() {
        for (auto& entry : tracked_) entry.second.alive = false;
        std::vector<HWND> top;
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&top));
        for (HWND hwnd : top)
            if (ClassOf(hwnd) == L"#32770") Seen(hwnd);
        for (auto it = tracked_.begin(); it != tracked_.end();) {
            Tracked& t = it->second;
            if (!t.alive || !IsWindow(t.hwnd)) {
                Gone(t);
                it = tracked_.erase(it);
                continue;
            }
            Update(t);
            ++it;
        }
    }

    // Boxes still open when the watcher stops.
    void ReportOpen() {
        for (auto& entry : tracked_) {
            const Tracked& t = entry.second;
            if (t.kind == Kind::MessageBox && t.logged && !t.answered)
                Log("\"event\":\"unanswered\",\"box\":" + std::to_string(t.box));
        }
    }

private:
    void Seen(HWND hwnd) {
        auto it = tracked_.find(hwnd);
        if (it == tracked_.end()) {
            Tracked t;
            t.hwnd = hwnd;
            it = tracked_.emplace(hwnd, t).first;
        }
        it->second.alive = true;
    }

    void Update(Tracked& t) {
        if (!t.logged) {
            bool visible = IsWindowVisible(t.hwnd) != FALSE;
            t.kind = Classify(t.hwnd);
            if (!visible) return;
            if (!t.visible_since) t.visible_since = Elapsed();
            if (t.kind == Kind::MessageBox) {
                if (!LogMessageBox(t)) return;
            } else if (t.kind == Kind::Progress) {
                LogProgress(t);
            } else {
                t.seq = ++seq_;
                Log("\"event\":\"dialog\",\"seq\":" + std::to_string(t.seq) +
                    ",\"title\":" + JsonString(TextOf(t.hwnd)) + "," + OwnerJson(t.hwnd));
            }
            t.logged = true;
            if (t.kind == Kind::MessageBox || t.kind == Kind::Progress) WaitForShot(options_, t.seq);
        }
        if (t.kind == Kind::MessageBox && !t.answered) TryAnswer(t);
    }

    void Gone(const Tracked& t) {
        if (t.logged) {
            Log("\"event\":\"closed\",\"seq\":" + std::to_string(t.seq));
        } else {
            // A dialog that ended without ever being shown (the progress
            // dialog can be created hidden); its last known kind is reported.
            const char* kind = t.kind == Kind::Progress     ? "progress"
                               : t.kind == Kind::MessageBox ? "msgbox"
                                                            : "dialog";
            Log(std::string("\"event\":\"hidden_dialog\",\"kind\":\"") + kind + "\"");
        }
    }

    // Returns false while the icon is still being painted.
    bool LogMessageBox(Tracked& t) {
        IconResult icon = ClassifyIcon(t.hwnd);
        if (icon.kind.empty()) {
            if (Elapsed() - t.visible_since < kIconSettleMs) return false;
            icon.kind = "unknown";
        }
        std::vector<ButtonInfo> buttons = PushButtons(t.hwnd);
        t.seq = ++seq_;
        t.box = ++boxes_;
        if (static_cast<size_t>(t.box) <= options_.answers.size())
            t.answer = options_.answers[t.box - 1];
        std::string names, texts, def = "null";
        for (const auto& b : buttons) {
            if (!names.empty()) {
                names += ",";
                texts += ",";
            }
            names += std::string("\"") + ButtonNameOf(b.id) + "\"";
            texts += JsonString(b.text);
            if (b.is_default) def = std::string("\"") + ButtonNameOf(b.id) + "\"";
        }
        RECT rc;
        GetWindowRect(t.hwnd, &rc);
        Log("\"event\":\"msgbox\",\"seq\":" + std::to_string(t.seq) +
            ",\"box\":" + std::to_string(t.box) + ",\"caption\":" + JsonString(TextOf(t.hwnd)) +
            ",\"text\":" + JsonString(MessageBoxText(t.hwnd)) + ",\"icon\":\"" + icon.kind +
            "\",\"icon_detail\":\"" + icon.detail + "\",\"buttons\":[" + names +
            "],\"button_texts\":[" + texts + "],\"default\":" + def + ",\"rect\":" + RectJson(rc) +
            ",\"hold\":" + (t.answer.hold ? "true" : "false") + "," + OwnerJson(t.hwnd));
        return true;
    }

    void LogProgress(Tracked& t) {
        t.seq = ++seq_;
        RECT rc;
        GetWindowRect(t.hwnd, &rc);
        HWND bar = GetDlgItem(t.hwnd, kProgressBarId);
        Log("\"event\":\"progress\",\"seq\":" + std::to_string(t.seq) +
            ",\"title\":" + JsonString(TextOf(t.hwnd)) + ",\"rect\":" + RectJson(rc) +
            ",\"text\":" + JsonString(TextOf(GetDlgItem(t.hwnd, kProgressTextId))) +
            ",\"bar_style\":\"" + helper::Hex32(GetWindowLongW(bar, GWL_STYLE)) +
            "\",\"style\":\"" + helper::Hex32(GetWindowLongW(t.hwnd, GWL_STYLE)) +
            "\"," + OwnerJson(t.hwnd));
    }

    void TryAnswer(Tracked& t) {
        if (t.answer.hold) {
            std::wstring release =
                options_.release_dir + L"\\release-" + std::to_wstring(t.box);
            if (options_.release_dir.empty() || !helper::FileExists(release)) return;
        }
        std::vector<ButtonInfo> buttons = PushButtons(t.hwnd);
        if (buttons.empty()) return;
        const ButtonInfo* chosen = nullptr;
        std::string note;
        if (t.answer.token != L"default") {
            for (const auto& name : kButtons) {
                if (t.answer.token != name.token) continue;
                for (const auto& b : buttons)
                    if (b.id == name.id) chosen = &b;
            }
            if (!chosen) note = ",\"note\":\"scripted button missing, default used\"";
        }
        if (!chosen) {
            for (const auto& b : buttons)
                if (b.is_default) chosen = &b;
        }
        if (!chosen) chosen = &buttons.front();
        // Posted, like the notification a click sends, so that the watcher
        // never waits on the box's thread.
        PostMessageW(t.hwnd, WM_COMMAND, MAKEWPARAM(chosen->id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(chosen->hwnd));
        t.answered = true;
        Log("\"event\":\"answered\",\"box\":" + std::to_string(t.box) + ",\"button\":\"" +
            ButtonNameOf(chosen->id) + "\"" + note);
    }

    const Options& options_;
    std::map<HWND, Tracked> tracked_;
    int seq_ = 0;
    int boxes_ = 0;
};

bool ParseAnswers(const std::wstring& list, std::vector<Answer>* out) {
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t comma = list.find(L',', pos);
        std::wstring item = list.substr(pos, comma == std::wstring::npos ? std::wstring::npos
                                                                         : comma - pos);
        for (auto& c : item) c = static_cast<wchar_t>(towlower(c));
        Answer a;
        if (item.rfind(L"hold-", 0) == 0) {
            a.hold = true;
            item = item.substr(5);
        }
        bool known = item == L"default";
        for (const auto& b : kButtons) known = known || item == b.token;
        if (!known) return false;
        a.token = item;
        out->push_back(a);
        if (comma == std::wstring::npos) break;
        pos = comma + 1;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_start = GetTickCount();
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == L"--log" && has_value) {
            options.log = argv[++i];
        } else if (a == L"--answers" && has_value) {
            std::wstring list = argv[++i];
            if (!list.empty() && !ParseAnswers(list, &options.answers)) {
                helper::WriteStderr("msgbox_watcher: bad answer list\n");
                return 2;
            }
        } else if (a == L"--release-dir" && has_value) {
            options.release_dir = argv[++i];
        } else if (a == L"--stop-file" && has_value) {
            options.stop_file = argv[++i];
        } else if (a == L"--watch-process" && has_value) {
            options.watch_process = argv[++i];
        } else if (a == L"--grace-ms" && has_value) {
            options.grace_ms = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (a == L"--ready-file" && has_value) {
            options.ready_file = argv[++i];
        } else if (a == L"--shots-dir" && has_value) {
            options.shots_dir = argv[++i];
        } else if (a == L"--poll-ms" && has_value) {
            options.poll_ms = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (a == L"--timeout-ms" && has_value) {
            options.timeout_ms = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else {
            helper::WriteStderr("msgbox_watcher: unknown or incomplete option\n");
            return 2;
        }
    }
    if (options.log.empty()) {
        helper::WriteStderr("usage: msgbox_watcher.exe --log FILE [options]\n");
        return 2;
    }
    g_log = CreateFileW(options.log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) {
        helper::WriteStderr("msgbox_watcher: cannot open the log\n");
        return 3;
    }

    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    Log("\"event\":\"ready\",\"screen\":" + RectJson(screen) +
        ",\"answers\":" + std::to_string(options.answers.size()));
    if (!options.ready_file.empty()) helper::WriteFileAtomically(options.ready_file, "ready\n");

    Watcher watcher(options);
    ProcessEnd process_end(options);
    const char* reason = "timeout";
    while (Elapsed() < options.timeout_ms) {
        // Decide before the scan, so that a box shown just before the stop
        // request is still seen by this last scan.
        const char* stop = nullptr;
        if (!options.stop_file.empty() && helper::FileExists(options.stop_file))
            stop = "stop-file";
        else if (process_end.Reached())
            stop = "process-ended";
        watcher.Scan();
        if (stop) {
            reason = stop;
            break;
        }
        Sleep(options.poll_ms);
    }
    watcher.ReportOpen();
    Log(std::string("\"event\":\"stop\",\"reason\":\"") + reason + "\"");
    CloseHandle(g_log);
    return 0;
}
