// End-to-end driver for corvane.exe: starts the program, works its windows from
// outside the way a user would (window messages, and real keys, clicks and
// drags), and checks what the windows show, that every text fits, and what the
// jobs leave on disk. The program's message dialog, linked in, is also shown
// here for every status.
//
// Usage: corvane-e2e-driver <corvane.exe> <scratch folder> <screenshot folder>
// Prints one line per check and ends with "N passed, M failed".

#include <windows.h>
#include <commctrl.h>

#include "ui/desktop_win32.h"
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

// Generous: Wine under a virtual X server on a shared two-core machine is slow,
// and a time-out is reported as a failure anyway.
constexpr DWORD DIALOG_WAIT_MS = 30000;
constexpr DWORD JOB_WAIT_MS = 300000;
constexpr DWORD POLL_MS = 50;
constexpr UINT SEND_TIMEOUT_MS = 10000;

// Control ids of corvane.exe's dialogs, kept here rather than taken from the
// program's resource header so that a wrong id there shows up as a failure.
constexpr int ID_ABOUT_TEXT = 1003;
constexpr int ID_MESSAGE_TEXT = 1004;
constexpr int ID_PASSWORD = 1005;
constexpr int ID_HINT = 1006;
constexpr int ID_SHOW = 1007;
constexpr int ID_NEW_PASSWORD = 1008;
constexpr int ID_CONFIRM = 1009;
constexpr int ID_FILE = 1010;
constexpr int ID_TYPE = 1011;
constexpr int ID_SIZE = 1012;
constexpr int ID_DATE = 1013;
constexpr int ID_OPEN = 1014;
constexpr int ID_CRYPT = 1015;
constexpr int ID_TEST = 1016;
constexpr int ID_ABOUT = 1017;
constexpr int ID_USE_KEY = 1018;
constexpr int ID_KEY_PATH = 1019;
constexpr int ID_CHOOSE_KEY = 1020;
constexpr int ID_FORGET_KEY = 1021;
constexpr int ID_ROUNDS_LIST = 1022;
constexpr int ID_BLOCK_LIST = 1023;
constexpr int ID_ELAPSED = 1024;
constexpr int ID_REMAINING = 1025;
constexpr int ID_SPEED = 1026;
constexpr int ID_STATUS = 1027;
constexpr int ID_BAR = 1028;
// The file-name field of the system's Open and Save dialogs (cmb13, edt1).
constexpr int ID_FILE_NAME_COMBO = 0x47C;
constexpr int ID_FILE_NAME_EDIT = 0x480;

int passed = 0;
int failed = 0;
// Only what shows the dialogs: the second pass, at another DPI, skips the
// checks of behaviour that the first pass has made already.
bool dialogs_only = false;

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t unit : text) {
    if (unit == L'\r') {
      out += "\\r";
    } else if (unit == L'\n') {
      out += "\\n";
    } else if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
    } else {
      char code[12];
      std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(unit));
      out += code;
    }
  }
  return out;
}

void check(bool ok, const char* name, const std::string& detail = {}) {
  if (ok) {
    ++passed;
    std::printf("ok   %s\n", name);
  } else {
    ++failed;
    std::printf("FAIL %s%s%s\n", name, detail.empty() ? "" : ": ", detail.c_str());
  }
  std::fflush(stdout);
}

void check_text(const std::wstring& seen, const std::wstring& expected, const char* name) {
  check(seen == expected, name, "expected \"" + narrow(expected) + "\", seen \"" + narrow(seen) + "\"");
}

void note(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::printf("# ");
  std::vprintf(format, args);
  std::printf("\n");
  std::fflush(stdout);
  va_end(args);
}

// Polls until the condition holds; false after the time-out.
bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() - start > timeout_ms) return false;
    Sleep(POLL_MS);
  }
}

// ---- Reading and driving windows of the other process ----------------------

std::wstring text_of(HWND window) {
  if (!window) return L"<no window>";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &length)) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &copied);
  text.resize(copied);
  return text;
}

std::wstring item_text(HWND dialog, int id) { return text_of(GetDlgItem(dialog, id)); }

void set_text(HWND window, const std::wstring& text) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                      SEND_TIMEOUT_MS, &result);
}

// Posted, not sent: a click that opens a modal dialog would otherwise hold the
// driver until that dialog ends.
void click(HWND dialog, int id) {
  if (HWND button = GetDlgItem(dialog, id)) PostMessageW(button, BM_CLICK, 0, 0);
}

bool enabled(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowEnabled(item);
}

bool visible(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowVisible(item);
}

LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
  return static_cast<LRESULT>(result);
}

std::wstring class_of(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

DWORD app_process_id = 0;
HANDLE app_process = nullptr;
HWND main_window = nullptr;

// The visible dialogs of a process: the program's, or the driver's own.
std::vector<HWND> dialogs_of(DWORD process_id) {
  struct Search {
    DWORD process_id;
    std::vector<HWND> found;
  } search{process_id, {}};
  EnumWindows(
      [](HWND window, LPARAM argument) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(argument);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == s.process_id && IsWindowVisible(window) && class_of(window) == L"#32770") {
          s.found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> app_dialogs() { return dialogs_of(app_process_id); }

// A visible dialog of the program that satisfies the predicate, waited for.
HWND wait_dialog(const std::function<bool(HWND)>& match, DWORD timeout_ms = DIALOG_WAIT_MS) {
  HWND found = nullptr;
  wait_until(
      [&] {
        for (HWND window : app_dialogs()) {
          if (match(window)) {
            found = window;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

HWND wait_titled(const std::wstring& title, DWORD timeout_ms = DIALOG_WAIT_MS) {
  return wait_dialog([&](HWND window) { return text_of(window) == title; }, timeout_ms);
}

// The progress dialog has no title until the job announces itself; its bar is
// what tells it apart.
HWND wait_progress() {
  return wait_dialog([](HWND window) {
    HWND bar = GetDlgItem(window, ID_BAR);
    return bar && class_of(bar) == L"msctls_progress32";
  });
}

HWND wait_message_box() {
  return wait_dialog([](HWND window) {
    return GetDlgItem(window, ID_MESSAGE_TEXT) != nullptr && GetDlgItem(window, 1) != nullptr &&
           GetDlgItem(window, ID_BAR) == nullptr;
  });
}

HWND focus_of(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

// The dialogs move the focus with a posted message, so it is waited for.
void check_focus(HWND dialog, int id, const char* name) {
  HWND item = GetDlgItem(dialog, id);
  const bool ok = item && wait_until([&] { return focus_of(dialog) == item; }, DIALOG_WAIT_MS);
  check(ok, name, "focus is on control " + std::to_string(GetDlgCtrlID(focus_of(dialog))));
}

// A key pressed while the main window's File field has the focus; the
// program's message loop passes it on to the main window.
void press_in_file_field(wchar_t key) {
  PostMessageW(GetDlgItem(main_window, ID_FILE), WM_KEYDOWN, static_cast<WPARAM>(key), 1);
}

int count_titled(const std::wstring& title) {
  int count = 0;
  for (HWND window : app_dialogs()) count += text_of(window) == title;
  return count;
}

bool wait_gone(HWND window, DWORD timeout_ms = DIALOG_WAIT_MS) {
  return wait_until([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeout_ms);
}

bool wait_item_text(HWND dialog, int id, const std::wstring& expected, DWORD timeout_ms) {
  return wait_until([&] { return item_text(dialog, id) == expected; }, timeout_ms);
}

// ---- Text fit ------------------------------------------------------------------

// The program as a data file, for its dialog templates' fonts.
HMODULE app_resources = nullptr;

struct TemplateFont {
  bool found = false;
  int points = 0;
  int weight = 0;
  bool italic = false;
  std::wstring face;
};

const WORD* skip_name_or_ordinal(const WORD* p) {
  if (*p == 0) return p + 1;
  if (*p == 0xFFFF) return p + 2;
  while (*p != 0) ++p;
  return p + 1;
}

// The font a DIALOGEX template asks for (point size, weight, italic, face).
TemplateFont template_font(int template_id) {
  TemplateFont font;
  HRSRC found = app_resources ? FindResourceW(app_resources, MAKEINTRESOURCEW(template_id), MAKEINTRESOURCEW(5) /* RT_DIALOG */) : nullptr;
  HGLOBAL loaded = found ? LoadResource(app_resources, found) : nullptr;
  const auto* p = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
  if (!p || p[0] != 1 || p[1] != 0xFFFF) return font;
  const DWORD style = p[6] | (static_cast<DWORD>(p[7]) << 16);
  if (!(style & DS_SETFONT)) return font;
  p = skip_name_or_ordinal(p + 13);  // menu
  p = skip_name_or_ordinal(p);       // class
  p = skip_name_or_ordinal(p);       // title
  font.points = p[0];
  font.weight = p[1];
  font.italic = LOBYTE(p[2]) != 0;
  font.face = reinterpret_cast<const wchar_t*>(p + 3);
  font.found = true;
  return font;
}

// Which of the program's templates a dialog was made from, told by its controls.
int template_of(HWND dialog) {
  if (GetDlgItem(dialog, ID_CRYPT) && GetDlgItem(dialog, ID_FILE)) return 109;
  if (GetDlgItem(dialog, ID_BAR)) return 108;
  if (GetDlgItem(dialog, ID_ROUNDS_LIST)) return 107;
  if (GetDlgItem(dialog, ID_PASSWORD)) return 106;
  if (GetDlgItem(dialog, ID_MESSAGE_TEXT)) return 104;
  if (GetDlgItem(dialog, ID_ABOUT_TEXT)) return 103;
  if (text_of(dialog) == L"Cancel Confirmation") return 105;
  return 0;
}

// The DPI the dialog manager scales a template's font by: the screen's, as a
// DPI-aware program sees it (this driver is one).
UINT screen_dpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return static_cast<UINT>(dpi);
}

// The font the dialog manager made for a template at a DPI: the same call as
// the one it makes, so the same face substitution and the same metrics.
HFONT dialog_font(const TemplateFont& font, UINT dpi) {
  return CreateFontW(-MulDiv(font.points, static_cast<int>(dpi), 72), 0, 0, 0, font.weight, font.italic, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FF_DONTCARE,
                     font.face.c_str());
}

// How a static control lays out its text, by its style.
UINT static_format(LONG style) {
  UINT format = DT_EXPANDTABS | DT_WORDBREAK;
  switch (style & SS_TYPEMASK) {
    case SS_CENTER: format |= DT_CENTER; break;
    case SS_RIGHT: format |= DT_RIGHT; break;
    case SS_SIMPLE: format = DT_SINGLELINE; break;
    case SS_LEFTNOWORDWRAP: format = DT_EXPANDTABS; break;
    default: break;
  }
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  if ((style & SS_TYPEMASK) != SS_SIMPLE && (style & SS_CENTERIMAGE)) format |= DT_SINGLELINE | DT_VCENTER;
  return format;
}

bool shows_text(LONG style) {
  switch (style & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP: return true;
    default: return false;
  }
}

struct Measured {
  SIZE need;
  SIZE have;
};

// The room a text takes in a static control laid out as that control lays it
// out, against the control's client area.
Measured measure_static(HWND control, HDC dc, const std::wstring& text) {
  RECT client{};
  GetClientRect(control, &client);
  RECT need{0, 0, client.right, 0};
  const UINT format = static_format(GetWindowLongW(control, GWL_STYLE));
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, format | DT_CALCRECT);
  return {{need.right - need.left, need.bottom - need.top}, {client.right, client.bottom}};
}

bool fits(const Measured& m) { return m.need.cx <= m.have.cx && m.need.cy <= m.have.cy; }

std::string sizes(const Measured& m) {
  return "needs " + std::to_string(m.need.cx) + "x" + std::to_string(m.need.cy) + " px, has " +
         std::to_string(m.have.cx) + "x" + std::to_string(m.have.cy) + " px";
}

// A device context holding the dialog's own font at the dialog's DPI.
class TextRuler {
 public:
  explicit TextRuler(HWND dialog) : dpi_(screen_dpi()) {
    const int id = template_of(dialog);
    font_ = id ? template_font(id) : TemplateFont{};
    if (!font_.found) return;
    handle_ = dialog_font(font_, dpi_);
    dc_ = CreateCompatibleDC(nullptr);
    previous_ = SelectObject(dc_, handle_);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc_, LF_FACESIZE, face);
    drawn_with_ = face;
  }
  ~TextRuler() {
    if (!dc_) return;
    SelectObject(dc_, previous_);
    DeleteDC(dc_);
    DeleteObject(handle_);
  }
  TextRuler(const TextRuler&) = delete;
  TextRuler& operator=(const TextRuler&) = delete;

  bool ready() const { return dc_ != nullptr; }
  UINT dpi() const { return dpi_; }
  HDC dc() const { return dc_; }
  std::string describe() const {
    return narrow(font_.face) + " " + std::to_string(font_.points) + " pt as " + narrow(drawn_with_) + " at " +
           std::to_string(dpi_) + " DPI";
  }

 private:
  UINT dpi_;
  TemplateFont font_;
  HFONT handle_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  std::wstring drawn_with_;
};

std::vector<HWND> static_children(HWND dialog) {
  std::vector<HWND> found;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM list) -> BOOL {
        if (class_of(child) == L"Static" && IsWindowVisible(child) && shows_text(GetWindowLongW(child, GWL_STYLE))) {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string control_name(HWND control) {
  const int id = GetDlgCtrlID(control);
  return id > 0 && id < 0xFFFF ? "control " + std::to_string(id) : "label";
}

// Push buttons (and push-like boxes) draw their caption on one line inside a
// border and the focus rectangle: a caption that comes closer to the edge
// than that looks cut to a person.
std::vector<HWND> push_buttons(HWND dialog) {
  std::vector<HWND> found;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM list) -> BOOL {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const LONG kind = style & BS_TYPEMASK;
        const bool push = kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON ||
                          ((kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX) && (style & BS_PUSHLIKE));
        if (class_of(child) == L"Button" && IsWindowVisible(child) && push) {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

Measured measure_button(HWND button, HDC dc, const std::wstring& text, UINT dpi) {
  RECT client{};
  GetClientRect(button, &client);
  RECT need{0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, DT_SINGLELINE | DT_CALCRECT);
  // Two pixels of border and two more to the focus rectangle, each side.
  const int pad = MulDiv(4, static_cast<int>(dpi), 96);
  return {{need.right - need.left + 2 * pad, need.bottom - need.top}, {client.right, client.bottom}};
}

// Every text shown by a static control or a push button of the dialog fits
// its control.
void check_texts_fit(HWND dialog, const std::string& where) {
  TextRuler ruler(dialog);
  if (!ruler.ready()) {
    check(template_of(dialog) == 0, ("fit: " + where + ": dialog font known").c_str(), "template not found");
    return;
  }
  for (HWND control : static_children(dialog)) {
    const std::wstring text = text_of(control);
    if (text.empty()) continue;
    const Measured m = measure_static(control, ruler.dc(), text);
    check(fits(m), ("fit: " + where + ": \"" + narrow(text) + "\"").c_str(),
          control_name(control) + " " + sizes(m) + " (" + ruler.describe() + ")");
  }
  for (HWND button : push_buttons(dialog)) {
    const std::wstring text = text_of(button);
    if (text.empty()) continue;
    const Measured m = measure_button(button, ruler.dc(), text, ruler.dpi());
    check(fits(m), ("fit: " + where + ": button \"" + narrow(text) + "\"").c_str(),
          control_name(button) + " " + sizes(m) + " with its border (" + ruler.describe() + ")");
  }
}

// Texts the program writes into a control at run time, at their widest: each
// is put in, measured and the control's own text put back.
void check_planted_fit(HWND dialog, int id, const std::vector<std::wstring>& texts, const std::string& where) {
  TextRuler ruler(dialog);
  HWND control = GetDlgItem(dialog, id);
  if (!ruler.ready() || !control) {
    check(false, ("fit: " + where + ": control " + std::to_string(id)).c_str(), "no control or no font");
    return;
  }
  const std::wstring original = text_of(control);
  for (const auto& text : texts) {
    set_text(control, text);
    const Measured m = measure_static(control, ruler.dc(), text_of(control));
    check(fits(m), ("fit: " + where + ": widest \"" + narrow(text) + "\"").c_str(),
          control_name(control) + " " + sizes(m) + " (" + ruler.describe() + ")");
  }
  set_text(control, original);
}

// ---- Screenshots ---------------------------------------------------------------

std::wstring shot_folder;

// Copies the window's screen area into a 24-bit BMP; the run script turns it
// into PNG. The window is repainted first so that the capture is current.
// A dialog of the program is looked at as a person would: every text it shows
// must fit its control.
void screenshot(HWND window, const wchar_t* name) {
  if (!window) return;
  if (template_of(window) != 0) check_texts_fit(window, narrow(name));
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Sleep(400);
  RECT area{};
  GetWindowRect(window, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();

  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD image_size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + image_size;
  const std::wstring path = shot_folder + L"\\" + name + L".bmp";
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(out, &file, sizeof file, &written, nullptr);
    WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
    WriteFile(out, bits, image_size, &written, nullptr);
    CloseHandle(out);
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// ---- Files -------------------------------------------------------------------

std::wstring scratch;

std::wstring in_scratch(const wchar_t* name) { return scratch + L"\\" + name; }

// Bytes that differ from position to position and from file to file, so that a
// block dropped, repeated or moved shows in the comparison.
std::vector<unsigned char> pattern(size_t size, uint32_t seed) {
  std::vector<unsigned char> bytes(size);
  uint32_t state = seed;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<unsigned char>(state >> 24);
  }
  return bytes;
}

bool write_file(const std::wstring& path, const std::vector<unsigned char>& bytes, const FILETIME* write_time) {
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
    DWORD written = 0;
    ok = WriteFile(out, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
    done += chunk;
  }
  if (ok && write_time) ok = SetFileTime(out, nullptr, nullptr, write_time);
  CloseHandle(out);
  return ok;
}

bool read_file(const std::wstring& path, std::vector<unsigned char>& bytes) {
  HANDLE in = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  GetFileSizeEx(in, &size);
  bytes.assign(static_cast<size_t>(size.QuadPart), 0);
  DWORD got = 0;
  const bool ok = ReadFile(in, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size();
  CloseHandle(in);
  return ok;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

FILETIME write_time_of(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// The names in the scratch folder, sorted, joined with "|": what a job leaves
// behind, temporaries included.
std::wstring scratch_listing() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  HANDLE search = FindFirstFileW((scratch + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  std::sort(names.begin(), names.end());
  std::wstring joined;
  for (const auto& name : names) joined += (joined.empty() ? L"" : L"|") + name;
  return joined;
}

uint64_t ticks(FILETIME time) { return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

// The date text of the main window: the short date and the time without
// seconds in the user's formats, local time, after the field's leading space.
std::wstring date_text(FILETIME time) {
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  FileTimeToSystemTime(&time, &utc);
  SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  wchar_t date[96] = {};
  wchar_t clock[32] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 96);
  GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, clock, 32);
  return std::wstring(L" ") + date + L" " + clock;
}

// The block size encryption settles on for a requested size: the candidate
// between half and one and a half times the request that leaves the least
// room in the last block, then the one nearest the request, the larger on a tie.
uint32_t chosen_block_size(uint32_t requested, uint64_t file_size) {
  uint64_t c = std::max<uint64_t>(requested, 0x8000);
  c = std::min<uint64_t>(c, 0x2000000);
  if (file_size <= c) return static_cast<uint32_t>(file_size);
  uint64_t best = 0;
  uint64_t best_slack = 0;
  uint64_t best_distance = 0;
  for (uint64_t i = c / 2; i <= c + c / 2; ++i) {
    const uint64_t rest = file_size % i;
    const uint64_t slack = rest == 0 ? 0 : i - rest;
    const uint64_t distance = i > c ? i - c : c - i;
    if (best == 0 || slack < best_slack || (slack == best_slack && distance <= best_distance)) {
      best = i;
      best_slack = slack;
      best_distance = distance;
    }
  }
  return static_cast<uint32_t>(best);
}

std::wstring block_part(uint32_t block) {
  if (block >= 1048576) return std::to_wstring((block + 524288) / 1048576) + L" MB Block";
  if (block >= 1024) return std::to_wstring((block + 512) / 1024) + L" KB Block";
  return std::to_wstring(block) + L" Byte Block";
}

// ---- The program's dialogs ------------------------------------------------------

// Answers the system's Open or Save dialog with a full path.
bool answer_file_dialog(HWND dialog, const std::wstring& path) {
  if (!dialog) return false;
  HWND name = GetDlgItem(dialog, ID_FILE_NAME_COMBO);
  if (name && class_of(name) == L"ComboBoxEx32") {
    HWND inner = FindWindowExW(name, nullptr, L"ComboBox", nullptr);
    HWND edit = inner ? FindWindowExW(inner, nullptr, L"Edit", nullptr) : nullptr;
    name = edit ? edit : name;
  } else if (!name) {
    name = GetDlgItem(dialog, ID_FILE_NAME_EDIT);
  }
  if (!name) return false;
  set_text(name, path);
  click(dialog, IDOK);
  return wait_gone(dialog);
}

// The file name the dialog proposes, as shown in its name field.
std::wstring proposed_name(HWND dialog) {
  HWND name = GetDlgItem(dialog, ID_FILE_NAME_COMBO);
  if (!name) name = GetDlgItem(dialog, ID_FILE_NAME_EDIT);
  return text_of(name);
}

bool ends_with(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int find_item_by_data(HWND list, LRESULT value) {
  const auto count = static_cast<int>(send(list, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    if (send(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == value) return i;
  }
  return -1;
}

std::wstring list_item(HWND list, int index) {
  const auto length = send(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return L"<none>";
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  send(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

// Selects by item data and tells the dialog, as a confirmed choice in the list would.
bool choose(HWND dialog, int id, LRESULT value) {
  HWND list = GetDlgItem(dialog, id);
  const int index = find_item_by_data(list, value);
  if (index < 0) return false;
  send(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  send(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELENDOK), reinterpret_cast<LPARAM>(list));
  return true;
}

struct Encryption {
  std::wstring password;
  std::wstring hint;
  LRESULT rounds;
  LRESULT block;
};

// Fills an open Select Password dialog and accepts it.
void fill_select_password(HWND dialog, const Encryption& job) {
  check(choose(dialog, ID_ROUNDS_LIST, job.rounds), "select: jumble rounds offered");
  check(choose(dialog, ID_BLOCK_LIST, job.block), "select: block size offered");
  set_text(GetDlgItem(dialog, ID_NEW_PASSWORD), job.password);
  set_text(GetDlgItem(dialog, ID_CONFIRM), job.password);
  set_text(GetDlgItem(dialog, ID_HINT), job.hint);
  click(dialog, IDOK);
}

// Waits for the job's final status text, then closes the progress dialog with
// its Close button. The dialog is returned for the caller's checks before closing.
bool finish_job(HWND progress, const std::wstring& status, const char* name, const wchar_t* shot = nullptr) {
  const bool done = wait_item_text(progress, ID_STATUS, status, JOB_WAIT_MS);
  check(done, name, "status expected \"" + narrow(status) + "\", seen \"" + narrow(item_text(progress, ID_STATUS)) + "\"");
  if (!done) return false;
  if (shot) screenshot(progress, shot);
  check_text(item_text(progress, 2), L"Close", "progress: button 2 reads Close after the job");
  check(!visible(progress, 1), "progress: Pause button hidden after the job");
  click(progress, 2);
  check(wait_gone(progress), "progress: Close closes the dialog");
  return true;
}

// The figures of the progress dialog at their widest realistic values, as
// the program writes them (two spaces after each), and every status text.
void check_progress_figures_fit(HWND progress) {
  const std::vector<std::wstring> durations{L"59.9 seconds  ", L"59 minutes, 59 seconds  ", L"23 hours, 59 minutes  ",
                                            L"364 days, 23 hours  ", L"99 years, 364 days  "};
  check_planted_fit(progress, ID_ELAPSED, durations, "progress elapsed");
  check_planted_fit(progress, ID_REMAINING, durations, "progress remaining");
  check_planted_fit(progress, ID_SIZE, {L"1023.9 MB  ", L"1023.99 GB  ", L"1023.99 TB  "}, "progress size");
  check_planted_fit(progress, ID_SPEED, {L"1023 bytes/s  ", L"1023.9 KB/s  ", L"1023.9 MB/s  ", L"1023.9 GB/s  "},
                    "progress speed");
  check_planted_fit(progress, ID_STATUS,
                    {L"Decryption completed successfully.", L"Encryption completed successfully.",
                     L"Test completed. There are no errors.", L"Continuing...", L"Cancelling..."},
                    "progress status");
}

// The main window's type, size and date texts at their widest.
void check_main_texts_fit(FILETIME wide_date) {
  check_planted_fit(main_window, ID_TYPE,
                    {L" QVK 45000X Jumble, 1024 KB Block", L" QVK 12800X Jumble, 1000 KB Block",
                     L" Unknown/Encrypted, 0 to 31 bytes"},
                    "main type");
  check_planted_fit(main_window, ID_SIZE, {L" 1023.9 MB", L" 1023.99 GB", L" 1023.99 TB"}, "main size");
  check_planted_fit(main_window, ID_DATE, {date_text(wide_date)}, "main date");
}

// ---- Real input and the clipboard ----------------------------------------------

// Keys and clicks through the system's input queue, as a keyboard and a mouse
// would give them: the program sees the modifiers held in its key state.
void key_event(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  const bool extended = key == VK_HOME || key == VK_END || key == VK_INSERT || key == VK_LEFT || key == VK_RIGHT ||
                        key == VK_UP || key == VK_DOWN;
  input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0u) | (extended ? KEYEVENTF_EXTENDEDKEY : 0u);
  SendInput(1, &input, sizeof input);
}

// One key pressed and released while the modifiers are held.
void type_key(WORD key, std::initializer_list<WORD> held = {}) {
  for (WORD modifier : held) key_event(modifier, false);
  key_event(key, false);
  key_event(key, true);
  for (WORD modifier : held) key_event(modifier, true);
}

void click_on(HWND window) {
  RECT area{};
  GetWindowRect(window, &area);
  SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
  INPUT input[2]{};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof input[0]);
}

bool empty_clipboard() {
  return wait_until(
      [] {
        if (!OpenClipboard(nullptr)) return false;
        const bool emptied = EmptyClipboard();
        CloseClipboard();
        return emptied != FALSE;
      },
      DIALOG_WAIT_MS);
}

// The clipboard's text, or "<none>" while it holds none.
std::wstring clipboard_text() {
  std::wstring text = L"<none>";
  if (!OpenClipboard(nullptr)) return L"<busy>";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = units;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

bool wait_clipboard(const std::wstring& expected) {
  return wait_until([&] { return clipboard_text() == expected; }, DIALOG_WAIT_MS);
}

std::pair<DWORD, DWORD> selection_of(HWND edit) {
  DWORD start = 0;
  DWORD end = 0;
  send(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

bool wait_selection(HWND edit, DWORD start, DWORD end) {
  return wait_until([&] { return selection_of(edit) == std::make_pair(start, end); }, DIALOG_WAIT_MS);
}

std::string selection_text(HWND edit) {
  const auto [start, end] = selection_of(edit);
  return "selection " + std::to_string(start) + " to " + std::to_string(end);
}

// In the File field the selection and clipboard keys act as in any read-only
// field, typed for real; the command keys still reach the main window.
void check_file_field_keys() {
  HWND field = GetDlgItem(main_window, ID_FILE);
  const std::wstring name = text_of(field);
  const auto length = static_cast<DWORD>(name.size());
  click_on(field);
  check_focus(main_window, ID_FILE, "clipboard: a click puts the focus in the File field");
  check(empty_clipboard(), "clipboard: emptied for the test");

  type_key('A', {VK_CONTROL});
  check(wait_selection(field, 0, length), "clipboard: Ctrl+A selects the whole name", selection_text(field));
  type_key('C', {VK_CONTROL});
  check(wait_clipboard(name), "clipboard: Ctrl+C copies the name", "clipboard \"" + narrow(clipboard_text()) + "\"");

  type_key(VK_HOME);
  check(wait_selection(field, 0, 0), "clipboard: Home puts the caret at the start", selection_text(field));
  type_key(VK_END);
  check(wait_selection(field, length, length), "clipboard: End puts the caret at the end", selection_text(field));
  for (int i = 0; i < 4; ++i) type_key(VK_LEFT, {VK_SHIFT});
  check(wait_selection(field, length - 4, length), "clipboard: Shift+Left selects back from the end",
        selection_text(field));
  check(empty_clipboard(), "clipboard: emptied again");
  type_key(VK_INSERT, {VK_CONTROL});
  check(wait_clipboard(name.substr(length - 4)), "clipboard: Ctrl+Insert copies the selection",
        "clipboard \"" + narrow(clipboard_text()) + "\"");
  // The selection keeps its anchor at the end: Shift+Home makes it the whole name.
  type_key(VK_HOME, {VK_SHIFT});
  check(wait_selection(field, 0, length), "clipboard: Shift+Home selects from the anchor to the start",
        selection_text(field));

  // A command key typed for real: no Ctrl held, so A goes to the main window.
  type_key('A');
  HWND about = wait_titled(L"About");
  check(about != nullptr, "keys: A typed in the File field opens About");
  if (about) {
    click(about, IDCANCEL);
    wait_gone(about);
  }
}

// ---- Drag and drop ------------------------------------------------------------------

// The data of a file dragged from a file manager: CF_HDROP in global memory.
class DraggedFile final : public IDataObject {
 public:
  explicit DraggedFile(std::wstring path) : path_(std::move(path)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
      *out = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&references_)); }

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    const size_t bytes = sizeof(DROPFILES) + (path_.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (!memory) return E_OUTOFMEMORY;
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::copy(path_.begin(), path_.end(), reinterpret_cast<wchar_t*>(files + 1));
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    ++handed_out_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) &&
                   format->dwAspect == DVASPECT_CONTENT
               ? S_OK
               : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return SHCreateStdEnumFmtEtc(1, &format, out);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  int handed_out() const { return handed_out_; }

 private:
  std::wstring path_;
  LONG references_ = 1;
  int handed_out_ = 0;
};

// Drops when the left button comes up, gives up on Escape.
class DragSource final : public IDropSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource)) {
      *out = static_cast<IDropSource*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
    if (escape) return DRAGDROP_S_CANCEL;
    return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

void mouse_to(POINT point) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int width = std::max(2, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  const int height = std::max(2, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  input.mi.dx = MulDiv(point.x - left, 65535, width - 1);
  input.mi.dy = MulDiv(point.y - top, 65535, height - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  SendInput(1, &input, sizeof input);
}

void mouse_button(bool up) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &input, sizeof input);
}

void pump_for(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
}

struct DragResult {
  HRESULT result;
  DWORD effect;
  int data_taken;
};

// Drags a file with the mouse from a small window of the driver's own onto
// the middle of the target window and lets go there: an OLE drag, as a file
// manager makes one. The hand moves on another thread while this one runs the
// drag loop.
DragResult drag_file_onto(HWND target, const std::wstring& path) {
  static const ATOM source_class = [] {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = L"CorvaneE2eDragSource";
    return RegisterClassW(&window_class);
  }();
  RECT aim{};
  GetWindowRect(target, &aim);
  HWND source = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                                reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(source_class)), L"drag source",
                                WS_POPUP | WS_BORDER | WS_VISIBLE, aim.right + 40, aim.top, 120, 80, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (!source) return {E_FAIL, DROPEFFECT_NONE, 0};
  pump_for(200);
  RECT from_rect{};
  GetWindowRect(source, &from_rect);
  const POINT from{(from_rect.left + from_rect.right) / 2, (from_rect.top + from_rect.bottom) / 2};
  const POINT to{(aim.left + aim.right) / 2, (aim.top + aim.bottom) / 2};
  mouse_to(from);
  mouse_button(false);
  // The drag loop reads the button from this thread's key state.
  pump_for(200);

  // The hand waits for the drag loop to hold the mouse (its tracker takes the
  // capture), moves, and lets go; should the loop not end, Escape ends it, so
  // that a drop that goes wrong is a failure, not a hang.
  struct Hand {
    POINT from, to;
    DWORD driver_thread;
    HANDLE done;
  } hand_of{from, to, GetCurrentThreadId(), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE hand = CreateThread(
      nullptr, 0,
      [](void* argument) -> DWORD {
        const auto& h = *static_cast<const Hand*>(argument);
        const auto capture_taken = [&] {
          GUITHREADINFO info{};
          info.cbSize = sizeof info;
          return GetGUIThreadInfo(h.driver_thread, &info) && info.hwndCapture != nullptr;
        };
        wait_until(capture_taken, 5000);
        for (int step = 1; step <= 20; ++step) {
          mouse_to({h.from.x + (h.to.x - h.from.x) * step / 20, h.from.y + (h.to.y - h.from.y) * step / 20});
          Sleep(30);
        }
        // The button comes up only where the hand has arrived.
        wait_until(
            [&] {
              POINT at{};
              GetCursorPos(&at);
              if (at.x == h.to.x && at.y == h.to.y) return true;
              mouse_to(h.to);
              return false;
            },
            5000);
        Sleep(500);
        mouse_button(true);
        if (WaitForSingleObject(h.done, 10000) == WAIT_OBJECT_0) return 0;
        mouse_button(true);
        if (WaitForSingleObject(h.done, 10000) == WAIT_OBJECT_0) return 0;
        PostThreadMessageW(h.driver_thread, WM_KEYDOWN, VK_ESCAPE, 1);
        return 0;
      },
      &hand_of, 0, nullptr);
  DraggedFile data(path);
  DragSource drag_source;
  DWORD effect = DROPEFFECT_NONE;
  const HRESULT result = DoDragDrop(&data, &drag_source, DROPEFFECT_COPY, &effect);
  SetEvent(hand_of.done);
  if (hand) {
    WaitForSingleObject(hand, DIALOG_WAIT_MS);
    CloseHandle(hand);
  }
  CloseHandle(hand_of.done);
  DestroyWindow(source);
  return {result, effect, data.handed_out()};
}

std::string drag_detail(const DragResult& drag) {
  char text[96];
  std::snprintf(text, sizeof text, "DoDragDrop 0x%08lX, effect %lu, data taken %d times",
                static_cast<unsigned long>(drag.result), static_cast<unsigned long>(drag.effect), drag.data_taken);
  return text;
}

void check_main_plain(const wchar_t* file_name, FILETIME time, const wchar_t* size_text);
void check_main_container(const wchar_t* title, const wchar_t* stored_name, const std::wstring& scheme,
                          const wchar_t* size_text, FILETIME time);

// A file dropped on the main window is shown as a command-line path is; while
// a dialog of the program is open, a drop is refused and changes nothing.
void check_drops(const std::wstring& container, const std::wstring& plain, FILETIME time, const std::wstring& scheme) {
  // The window takes drops only once the last dialog has given it back its input.
  check(wait_until([] { return IsWindowEnabled(main_window) != FALSE; }, DIALOG_WAIT_MS),
        "drop: the main window is enabled again after the decryption");
  DragResult drag = drag_file_onto(main_window, plain);
  check(drag.result == DRAGDROP_S_DROP && drag.effect == DROPEFFECT_COPY, "drop: the main window takes a dropped file",
        drag_detail(drag));
  wait_item_text(main_window, ID_CRYPT, L"&Encrypt...", DIALOG_WAIT_MS);
  screenshot(main_window, L"14-main-dropped-plain");
  check_main_plain(L"plain.e2edata", time, L" 300 KB");

  drag = drag_file_onto(main_window, container);
  check(drag.result == DRAGDROP_S_DROP && drag.effect == DROPEFFECT_COPY, "drop: a dropped container is taken too",
        drag_detail(drag));
  wait_item_text(main_window, ID_CRYPT, L"&Decrypt...", DIALOG_WAIT_MS);
  check_main_container(L"plain.qvk", L"plain.e2edata", scheme, L" 300 KB", time);

  click(main_window, ID_ABOUT);
  HWND about = wait_titled(L"About");
  check(about != nullptr, "drop: About open for the refused drop");
  if (!about) return;
  drag = drag_file_onto(main_window, plain);
  check(drag.effect == DROPEFFECT_NONE && drag.data_taken == 0, "drop: refused while a dialog is open",
        drag_detail(drag));
  click(about, IDCANCEL);
  check(wait_gone(about), "drop: About closes after the refused drop");
  check_text(item_text(main_window, ID_CRYPT), L"&Decrypt...", "drop: the refused drop changed nothing");
  check_text(text_of(main_window), L"plain.qvk", "drop: the title still names the container");
}

// ---- The message dialog for every status --------------------------------------------

// Most statuses cannot be brought about from outside (memory, threads, a full
// disk), so the program's own message dialog, linked into this driver with
// its templates, shows each one here, in this process, with the same fonts
// at the same DPI; every text must show whole.
void check_every_message() {
  corvane::ui::app_state().instance = GetModuleHandleW(nullptr);
  const struct {
    int status;
    const wchar_t* title;
    const wchar_t* text;
  } cases[] = {
      {7, L"Memory Error", L"Memory allocation failed."},
      {11, L"Error", L"Thread creation failed."},
      {12, L"Error", L"Window creation failed."},
      {14, L"Open Error", L"The file cannot be opened."},
      {15, L"Read Error", L"File read failed."},
      {16, L"Save Error", L"The file cannot be saved."},
      {17, L"Write Error", L"File write failed."},
      {18, L"Storage Error", L"There is not enough free disk space."},
      {19, L"Open Error", L"The file is not a valid QVK format file."},
      {20, L"Open Error", L"The file may require a newer version of Corvane."},
      {21, L"Checksum Error", L"Checksum failed. The file may be corrupt."},
      {23, L"Unexpected End of File Error", L"The file may be corrupt, incomplete, or incompatible."},
      {35, L"Password Error", L"The password and/or keyfile you have entered is incorrect."},
      {36, L"Password Error", L"Password and Confirm do not match. Try again."},
      {22, L"Error", L"Error"},
  };
  for (const auto& c : cases) {
    const std::string name = "message " + std::to_string(c.status);
    int status = c.status;
    HANDLE shower = CreateThread(
        nullptr, 0,
        [](void* argument) -> DWORD {
          corvane::ui::message_dialog(nullptr, static_cast<corvane::StatusCode>(*static_cast<int*>(argument)));
          return 0;
        },
        &status, 0, nullptr);
    HWND dialog = nullptr;
    wait_until(
        [&] {
          for (HWND window : dialogs_of(GetCurrentProcessId())) {
            if (GetDlgItem(window, ID_MESSAGE_TEXT)) dialog = window;
          }
          return dialog != nullptr;
        },
        DIALOG_WAIT_MS);
    check(dialog != nullptr, (name + ": shown").c_str());
    if (dialog) {
      check(text_of(dialog) == c.title && item_text(dialog, ID_MESSAGE_TEXT) == c.text,
            (name + ": its title and text").c_str(),
            "seen \"" + narrow(text_of(dialog)) + "\" / \"" + narrow(item_text(dialog, ID_MESSAGE_TEXT)) + "\"");
      const std::wstring shot = L"m" + std::to_wstring(c.status) + L"-message";
      screenshot(dialog, shot.c_str());
      click(dialog, IDOK);
    }
    const bool ended = shower && WaitForSingleObject(shower, DIALOG_WAIT_MS) == WAIT_OBJECT_0;
    check(ended, (name + ": OK closes it").c_str());
    if (shower) CloseHandle(shower);
    if (!ended) return;
  }
}

// ---- Scenario ----------------------------------------------------------------------

constexpr uint32_t PLAIN_SIZE = 300 * 1024;
const wchar_t* const PASSWORD = L"correct horse \u00e9t\u00e9";
const wchar_t* const HINT = L"the usual one";

// 2021-03-04 05:06:07.8901234 UTC: a time with a sub-second part, so that
// restoring it exactly is distinguishable from rounding.
FILETIME source_time() {
  SYSTEMTIME when{2021, 3, 4, 4, 5, 6, 7, 0};
  FILETIME time{};
  SystemTimeToFileTime(&when, &time);
  const uint64_t exact = ticks(time) + 8901234;
  return FILETIME{static_cast<DWORD>(exact), static_cast<DWORD>(exact >> 32)};
}

// Presses the keys in the File field and expects them to open exactly one
// dialog with the given title (and none of the flow dialogs besides). To know
// that everything the keys left in the program's queue has been handled, a
// marker command (the key-file button) is posted after the dialog is up: its
// Open Key dialog opens only once the queue ahead of it has been worked off.
void key_check(const std::wstring& keys, const std::wstring& title, const char* name) {
  for (wchar_t key : keys) press_in_file_field(key);
  HWND first = wait_titled(title);
  check(first != nullptr, name, "no \"" + narrow(title) + "\" dialog");
  if (!first) return;
  PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(ID_CHOOSE_KEY, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(main_window, ID_CHOOSE_KEY)));
  HWND marker = wait_titled(L"Open Key");
  if (marker) {
    const int count = count_titled(title);
    std::wstring others;
    for (const wchar_t* flow : {L"Save As", L"Select Password", L"Enter Password", L"About"}) {
      if (flow != title && count_titled(flow) > 0) others += std::wstring(others.empty() ? L"" : L", ") + flow;
    }
    check(count == 1 && others.empty(), (std::string(name) + ", once").c_str(),
          std::to_string(count) + " \"" + narrow(title) + "\" dialogs open" +
              (others.empty() ? "" : ", also " + narrow(others)));
    click(marker, IDCANCEL);
    wait_gone(marker);
  } else {
    check(false, (std::string(name) + ", once").c_str(), "the marker command was never handled");
  }
  // Close every dialog the keys opened, the newest first.
  for (int round = 0; round < 8 && count_titled(title) > 0; ++round) {
    std::vector<HWND> open = app_dialogs();
    for (HWND window : open) {
      if (text_of(window) == title) {
        click(window, IDCANCEL);
        wait_gone(window);
        break;
      }
    }
  }
}

void check_main_plain(const wchar_t* file_name, FILETIME time, const wchar_t* size_text) {
  check_text(item_text(main_window, ID_FILE), file_name, "main: File shows the name");
  check_text(item_text(main_window, ID_TYPE), L" E2EDATA File", "main: Type of an unregistered extension");
  check_text(item_text(main_window, ID_SIZE), size_text, "main: Size text");
  check_text(item_text(main_window, ID_DATE), date_text(time), "main: Date text of the last-write time");
  check_text(item_text(main_window, ID_CRYPT), L"&Encrypt...", "main: button 1015 reads &Encrypt...");
  check(enabled(main_window, ID_CRYPT), "main: Encrypt enabled");
  check(!enabled(main_window, ID_TEST), "main: Test disabled for a plain file");
  check_text(text_of(main_window), L"Corvane", "main: title of a plain file");
}

void check_main_container(const wchar_t* title, const wchar_t* stored_name, const std::wstring& scheme,
                          const wchar_t* size_text, FILETIME time) {
  check_text(text_of(main_window), title, "main: title is the container's name");
  check_text(item_text(main_window, ID_FILE), stored_name, "main: File shows the stored name");
  check_text(item_text(main_window, ID_TYPE), scheme, "main: Type shows the scheme");
  check_text(item_text(main_window, ID_SIZE), size_text, "main: Size of the stored file");
  check_text(item_text(main_window, ID_DATE), date_text(time), "main: Date of the stored file");
  check_text(item_text(main_window, ID_CRYPT), L"&Decrypt...", "main: button 1015 reads &Decrypt...");
  check(enabled(main_window, ID_CRYPT), "main: Decrypt enabled");
  check(enabled(main_window, ID_TEST), "main: Test enabled for a container");
}

// Opens a file through the Open button and its dialog.
bool open_through_dialog(const std::wstring& path) {
  click(main_window, ID_OPEN);
  HWND open = wait_titled(L"Open");
  check(open != nullptr, "open: the Open dialog appears");
  return answer_file_dialog(open, path);
}

// Encrypt from a plain file shown in the main window; returns the progress dialog.
HWND start_encrypt(const Encryption& job, const std::wstring& output, const wchar_t* shot = nullptr) {
  click(main_window, ID_CRYPT);
  HWND select = wait_titled(L"Select Password");
  check(select != nullptr, "encrypt: Select Password appears");
  if (!select) return nullptr;
  if (shot) screenshot(select, shot);
  fill_select_password(select, job);
  HWND save = wait_titled(L"Save As");
  check(save != nullptr, "encrypt: Save dialog appears after the password");
  if (!save) return nullptr;
  check(answer_file_dialog(save, output), "encrypt: Save dialog accepts the output path");
  HWND progress = wait_progress();
  check(progress != nullptr, "encrypt: progress dialog appears");
  return progress;
}

// Decrypt the container shown; returns the progress dialog.
HWND start_decrypt(const std::wstring& output, const std::wstring& password, const std::wstring& expected_name,
                   const std::wstring& expected_hint, const wchar_t* shot = nullptr) {
  click(main_window, ID_CRYPT);
  HWND save = wait_titled(L"Save As");
  check(save != nullptr, "decrypt: Save dialog comes first");
  if (!save) return nullptr;
  const std::wstring proposed = proposed_name(save);
  check(ends_with(proposed, expected_name), "decrypt: Save dialog proposes the output name",
        "expected ...\"" + narrow(expected_name) + "\", seen \"" + narrow(proposed) + "\"");
  check(answer_file_dialog(save, output), "decrypt: Save dialog accepts the output path");
  HWND enter = wait_titled(L"Enter Password");
  check(enter != nullptr, "decrypt: Enter Password appears");
  if (!enter) return nullptr;
  check_text(item_text(enter, ID_HINT), expected_hint, "enter: shows the stored hint");
  check_text(item_text(enter, ID_PASSWORD), L"", "enter: password field starts empty");
  check_focus(enter, ID_PASSWORD, "enter: focus starts in Password");
  if (shot) screenshot(enter, shot);
  set_text(GetDlgItem(enter, ID_PASSWORD), password);
  click(enter, IDOK);
  check(wait_gone(enter), "enter: OK closes the dialog");
  HWND progress = wait_progress();
  check(progress != nullptr, "decrypt: progress dialog appears");
  return progress;
}

void compare_output(const std::wstring& source, const std::wstring& output, const char* what) {
  std::vector<unsigned char> expected;
  std::vector<unsigned char> seen;
  const bool read = read_file(source, expected) && read_file(output, seen);
  std::string detail = "source " + std::to_string(expected.size()) + " bytes, output " + std::to_string(seen.size());
  if (read && expected.size() == seen.size()) {
    for (size_t i = 0; i < expected.size(); ++i) {
      if (expected[i] != seen[i]) {
        detail += ", first difference at byte " + std::to_string(i);
        break;
      }
    }
  }
  check(read && expected == seen, (std::string(what) + ": output equals the source byte for byte").c_str(), detail);
  const uint64_t want = ticks(write_time_of(source));
  const uint64_t got = ticks(write_time_of(output));
  check(want == got, (std::string(what) + ": output keeps the source's last-write time").c_str(),
        "expected " + std::to_string(want) + ", seen " + std::to_string(got));
}

void check_key_file(const std::wstring& plain, const std::wstring& key, FILETIME time);
void check_long_job(const std::wstring& big, FILETIME time);
void close_program(HANDLE process);

// A date whose text is among the widest in most formats: two-digit day and
// month, late in the evening.
FILETIME wide_date() {
  SYSTEMTIME when{2028, 12, 4, 28, 22, 58, 0, 0};
  FILETIME time{};
  SystemTimeToFileTime(&when, &time);
  return time;
}

void run(const std::wstring& app) {
  check_every_message();
  CreateDirectoryW(scratch.c_str(), nullptr);
  const std::wstring plain = in_scratch(L"plain.e2edata");
  const std::wstring key = in_scratch(L"key.material");
  const std::wstring big = in_scratch(L"big.e2edata");
  const FILETIME time = source_time();
  check(write_file(plain, pattern(PLAIN_SIZE, 0x1234567u), &time), "setup: plain source written");
  check(write_file(key, pattern(100000, 0xBADC0DEu), nullptr), "setup: key file written");

  // 1. Start with the source on the command line.
  std::wstring command = L"\"" + app + L"\" \"" + plain + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(app.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, scratch.c_str(), &startup,
                      &process)) {
    check(false, "start: corvane.exe starts", "CreateProcess error " + std::to_string(GetLastError()));
    return;
  }
  app_process_id = process.dwProcessId;
  app_process = process.hProcess;
  CloseHandle(process.hThread);
  main_window = wait_dialog([](HWND window) { return GetDlgItem(window, ID_CRYPT) && GetDlgItem(window, ID_FILE); });
  check(main_window != nullptr, "start: main window appears");
  if (!main_window) return;
  note("the dialogs' DPI: %u", screen_dpi());
  wait_item_text(main_window, ID_FILE, L"plain.e2edata", DIALOG_WAIT_MS);
  screenshot(main_window, L"01-main-plain");
  check_main_plain(L"plain.e2edata", time, L" 300 KB");
  check_text(item_text(main_window, ID_OPEN), L"&Open...", "main: Open button text");
  check_text(item_text(main_window, ID_ABOUT), L"&About", "main: About button text");

  // About.
  click(main_window, ID_ABOUT);
  HWND about = wait_titled(L"About");
  check(about != nullptr, "about: dialog appears");
  if (about) {
    screenshot(about, L"02-about");
    const std::wstring lines = item_text(about, ID_ABOUT_TEXT);
    check(lines.rfind(L"Corvane\r\nFile Encryption\r\n23.8 (x64)\r\n", 0) == 0, "about: first three lines",
          "seen \"" + narrow(lines) + "\"");
    // The About dialog's OK button has the id of Cancel.
    check_text(item_text(about, IDCANCEL), L"OK", "about: OK button");
    click(about, IDCANCEL);
    check(wait_gone(about), "about: OK closes it");
  }

  // Keys in the File field: with a plain file shown D and T do nothing, A
  // opens About. The commands are posted in key order, so a wrongly accepted D
  // or T would have opened its dialog before About.
  if (!dialogs_only) {
    key_check(L"DTA", L"About", "keys: with a plain file D and T do nothing, A opens About");
    check_file_field_keys();
  }

  // 2 and 7. Select Password: the lists, a mismatch, then the real choice.
  const Encryption first{PASSWORD, HINT, 25, 65536};
  const std::wstring container = in_scratch(L"plain.qvk");
  click(main_window, ID_CRYPT);
  HWND select = wait_titled(L"Select Password");
  check(select != nullptr, "select: dialog appears");
  if (!select) return;
  {
    HWND rounds = GetDlgItem(select, ID_ROUNDS_LIST);
    const std::vector<std::wstring> round_texts{L"QVK Stream",         L"QVK 1X Jumble",     L"QVK 2X Jumble",
                                                L"QVK 3X Jumble",      L"QVK 7X Jumble",     L"QVK 25X Jumble",
                                                L"QVK 85X Jumble",     L"QVK 300X Jumble",   L"QVK 1024X Jumble",
                                                L"QVK 3600X Jumble",   L"QVK 12800X Jumble", L"QVK 45000X Jumble"};
    std::vector<std::wstring> seen;
    const auto count = static_cast<int>(send(rounds, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) seen.push_back(list_item(rounds, i));
    std::wstring joined;
    for (const auto& text : seen) joined += text + L"|";
    check(seen == round_texts, "select: Encryption list entries in order", "seen " + narrow(joined));
    check_text(list_item(rounds, static_cast<int>(send(rounds, CB_GETCURSEL, 0, 0))), L"QVK 7X Jumble",
               "select: 7 rounds selected by default");

    HWND blocks = GetDlgItem(select, ID_BLOCK_LIST);
    const std::vector<std::wstring> block_texts{L"16 to 48 KB",   L"32 to 96 KB",   L"64 to 192 KB",
                                                L"128 to 384 KB", L"256 to 768 KB", L"512 to 1536 KB",
                                                L"1 to 3 MB",     L"2 to 6 MB",     L"4 to 12 MB"};
    seen.clear();
    const auto block_count = static_cast<int>(send(blocks, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < block_count; ++i) seen.push_back(list_item(blocks, i));
    joined.clear();
    for (const auto& text : seen) joined += text + L"|";
    check(seen == block_texts, "select: Blocksize list entries in order", "seen " + narrow(joined));
    check_text(list_item(blocks, static_cast<int>(send(blocks, CB_GETCURSEL, 0, 0))), L"256 to 768 KB",
               "select: 512 KiB blocks selected by default");
    check_focus(select, ID_NEW_PASSWORD, "select: focus starts in Password");
    HWND password = GetDlgItem(select, ID_NEW_PASSWORD);
    HWND confirm = GetDlgItem(select, ID_CONFIRM);
    check(send(password, EM_GETPASSWORDCHAR, 0, 0) == 0x25CF && send(confirm, EM_GETPASSWORDCHAR, 0, 0) == 0x25CF,
          "select: both password fields mask with U+25CF");
    // Typed, not set: the length limit applies to typing only.
    for (int i = 0; i < 300; ++i) send(password, WM_CHAR, L'x', 1);
    check(send(password, WM_GETTEXTLENGTH, 0, 0) == 255, "select: typing 300 characters keeps 255",
          "length " + std::to_string(send(password, WM_GETTEXTLENGTH, 0, 0)));
    click(select, ID_SHOW);
    check(wait_until([&] { return send(password, EM_GETPASSWORDCHAR, 0, 0) == 0 && send(confirm, EM_GETPASSWORDCHAR, 0, 0) == 0; },
                     DIALOG_WAIT_MS),
          "select: Show reveals both password fields");
    screenshot(select, L"03b-select-password-shown");
    click(select, ID_SHOW);
    check(wait_until([&] { return send(password, EM_GETPASSWORDCHAR, 0, 0) == 0x25CF && send(confirm, EM_GETPASSWORDCHAR, 0, 0) == 0x25CF; },
                     DIALOG_WAIT_MS),
          "select: Show again hides them");
    check_focus(select, ID_NEW_PASSWORD, "select: Show gives the focus back to Password");
    screenshot(select, L"03-select-password");

    set_text(GetDlgItem(select, ID_NEW_PASSWORD), L"alpha");
    set_text(GetDlgItem(select, ID_CONFIRM), L"alphA");
    set_text(GetDlgItem(select, ID_HINT), HINT);
    click(select, IDOK);
    HWND mismatch = wait_message_box();
    check(mismatch != nullptr, "mismatch: message appears");
    if (mismatch) {
      screenshot(mismatch, L"04-mismatch");
      check_text(text_of(mismatch), L"Password Error", "mismatch: title");
      check_text(item_text(mismatch, ID_MESSAGE_TEXT), L"Password and Confirm do not match. Try again.", "mismatch: text");
      click(mismatch, IDOK);
      check(wait_gone(mismatch), "mismatch: OK closes the message");
    }
    check(IsWindowVisible(select), "mismatch: Select Password stays open");
    check_text(item_text(select, ID_NEW_PASSWORD), L"", "mismatch: password field emptied");
    check_text(item_text(select, ID_CONFIRM), L"", "mismatch: confirm field emptied");
    check_text(item_text(select, ID_HINT), HINT, "mismatch: hint kept");
  }
  fill_select_password(select, first);
  HWND save = wait_titled(L"Save As");
  check(save != nullptr, "encrypt: Save dialog appears after the password");
  if (!save) return;
  screenshot(save, L"05-save-encrypt");
  const std::wstring proposed = proposed_name(save);
  check(ends_with(proposed, L"plain.qvk"), "encrypt: Save proposes the source name with .qvk",
        "seen \"" + narrow(proposed) + "\"");
  check(answer_file_dialog(save, container), "encrypt: Save dialog accepts the output path");
  HWND progress = wait_progress();
  check(progress != nullptr, "encrypt: progress dialog appears");
  if (!progress) return;
  if (wait_item_text(progress, ID_STATUS, L"Encryption completed successfully.", JOB_WAIT_MS)) {
    check_text(text_of(progress), L"Encrypting", "progress: title while encrypting");
    check_text(item_text(progress, ID_SIZE), L"300 KB  ", "progress: size text");
    check(send(GetDlgItem(progress, ID_BAR), PBM_GETPOS, 0, 0) == 100, "progress: bar at 100 when done");
  }
  finish_job(progress, L"Encryption completed successfully.", "encrypt: completes", L"06-progress-encrypted");

  const std::wstring scheme = L" QVK 25X Jumble, " + block_part(chosen_block_size(65536, PLAIN_SIZE));
  wait_item_text(main_window, ID_CRYPT, L"&Decrypt...", DIALOG_WAIT_MS);
  screenshot(main_window, L"07-main-container");
  check_main_texts_fit(wide_date());
  check_main_container(L"plain.qvk", L"plain.e2edata", scheme, L" 300 KB", time);
  check(exists(container), "encrypt: container written");

  // With a container shown E does nothing and D starts Decrypt (its Save dialog).
  if (!dialogs_only) {
    key_check(L"EA", L"About", "keys: with a container E does nothing, A opens About");
    key_check(L"D", L"Save As", "keys: D in the File field starts Decrypt");
  }

  // 3. Test.
  if (!dialogs_only) {
    click(main_window, ID_TEST);
    progress = wait_progress();
    check(progress != nullptr, "test: progress dialog appears");
    if (progress) {
      if (wait_item_text(progress, ID_STATUS, L"Test completed. There are no errors.", JOB_WAIT_MS)) {
        check_text(text_of(progress), L"Testing", "test: title");
      }
      finish_job(progress, L"Test completed. There are no errors.", "test: completes", L"08-progress-tested");
    }
  }

  // 4. Wrong password, then the right one.
  const std::wstring decrypted = in_scratch(L"decrypted.e2edata");
  progress = start_decrypt(decrypted, L"wrong password", L"plain.e2edata", HINT, L"09-enter-password");
  if (progress) {
    HWND error = wait_message_box();
    check(error != nullptr, "wrong password: message appears");
    if (error) {
      screenshot(error, L"10-password-error");
      check_text(text_of(error), L"Password Error", "wrong password: title");
      check_text(item_text(error, ID_MESSAGE_TEXT), L"The password and/or keyfile you have entered is incorrect.",
                 "wrong password: text");
      click(error, IDOK);
      check(wait_gone(error), "wrong password: OK closes the message");
    }
    finish_job(progress, L"Decryption failed.", "wrong password: decryption fails");
  }
  check(!exists(decrypted), "wrong password: no output left");
  check_text(scratch_listing(), L"key.material|plain.e2edata|plain.qvk", "wrong password: nothing else left in the folder");

  if (!dialogs_only) {
    progress = start_decrypt(decrypted, PASSWORD, L"decrypted.e2edata", HINT);
    if (progress) finish_job(progress, L"Decryption completed successfully.", "decrypt: completes");
    compare_output(plain, decrypted, "decrypt");
    check_drops(container, plain, time, scheme);
    check_key_file(plain, key, time);
  }
  check_long_job(big, time);
  close_program(process.hProcess);
}

void check_key_file(const std::wstring& plain, const std::wstring& key, FILETIME time) {
  // 5. Key file.
  HWND progress = nullptr;
  click(main_window, ID_CHOOSE_KEY);
  HWND open_key = wait_titled(L"Open Key");
  check(open_key != nullptr, "key: Open Key dialog appears");
  if (open_key) {
    check(answer_file_dialog(open_key, key), "key: dialog accepts the key file");
    check_text(item_text(main_window, ID_KEY_PATH), key, "key: field shows the key file");
    check(send(GetDlgItem(main_window, ID_USE_KEY), BM_GETCHECK, 0, 0) == BST_CHECKED, "key: box ticked");
  }
  screenshot(main_window, L"11-main-keyfile");
  check(open_through_dialog(plain), "key: plain file opened again");
  wait_item_text(main_window, ID_CRYPT, L"&Encrypt...", DIALOG_WAIT_MS);
  check_main_plain(L"plain.e2edata", time, L" 300 KB");
  const std::wstring keyed = in_scratch(L"keyed.qvk");
  const Encryption second{L"k", L"", 0, 32768};
  progress = start_encrypt(second, keyed);
  if (progress) finish_job(progress, L"Encryption completed successfully.", "key: encryption completes");
  wait_item_text(main_window, ID_CRYPT, L"&Decrypt...", DIALOG_WAIT_MS);
  check_main_container(L"keyed.qvk", L"plain.e2edata", L" QVK Stream", L" 300 KB", time);

  // Untick: the path stays, but the key is not used, so the password alone fails.
  // Sent, so that the box's command has been handled when the send returns.
  send(GetDlgItem(main_window, ID_USE_KEY), BM_CLICK, 0, 0);
  check(send(GetDlgItem(main_window, ID_USE_KEY), BM_GETCHECK, 0, 0) == BST_UNCHECKED, "key: box unticked");
  check_text(item_text(main_window, ID_KEY_PATH), key, "key: unticking keeps the path");
  const std::wstring keyed_out = in_scratch(L"keyed-out.e2edata");
  progress = start_decrypt(keyed_out, L"k", L"plain.e2edata", L"");
  if (progress) {
    HWND error = wait_message_box();
    check(error != nullptr && text_of(error) == L"Password Error", "key: without the key file the password fails");
    if (error) {
      click(error, IDOK);
      wait_gone(error);
    }
    finish_job(progress, L"Decryption failed.", "key: decryption without key fails");
  }
  check(!exists(keyed_out), "key: failed decryption leaves no output");
  check_text(scratch_listing(), L"decrypted.e2edata|key.material|keyed.qvk|plain.e2edata|plain.qvk",
             "key: nothing else left in the folder");

  // Tick again: with a path present no dialog opens, so the send comes back at
  // once instead of waiting in the dialog's loop.
  send(GetDlgItem(main_window, ID_USE_KEY), BM_CLICK, 0, 0);
  check(send(GetDlgItem(main_window, ID_USE_KEY), BM_GETCHECK, 0, 0) == BST_CHECKED, "key: box ticked again");
  HWND unexpected = wait_titled(L"Open Key", 0);
  check(unexpected == nullptr, "key: no Open Key dialog when a path is present");
  if (unexpected) {
    click(unexpected, IDCANCEL);
    wait_gone(unexpected);
  }
  progress = start_decrypt(keyed_out, L"k", L"keyed-out.e2edata", L"");
  if (progress) finish_job(progress, L"Decryption completed successfully.", "key: decryption with key completes");
  compare_output(plain, keyed_out, "key");

  click(main_window, ID_FORGET_KEY);
  check(wait_item_text(main_window, ID_KEY_PATH, L"", DIALOG_WAIT_MS), "key: X forgets the key file");
  check(send(GetDlgItem(main_window, ID_USE_KEY), BM_GETCHECK, 0, 0) == BST_UNCHECKED, "key: X unticks the box");

}

// 6 and 8. A long job: Pause, Continue, closing refused, Cancel answered No, then Yes.
void check_long_job(const std::wstring& big, FILETIME time) {
  HWND progress = nullptr;
  // Enough to outlast the checks by far at 45000 rounds; the second pass
  // needs less.
  const uint32_t big_size = dialogs_only ? 8u << 20 : 96u << 20;
  const wchar_t* const big_text = dialogs_only ? L" 8.0 MB" : L" 96.0 MB";
  check(write_file(big, pattern(big_size, 0xC0FFEEu), &time), "setup: large source written");
  check(open_through_dialog(big), "long: large file opened");
  wait_item_text(main_window, ID_SIZE, big_text, DIALOG_WAIT_MS);
  check_text(item_text(main_window, ID_SIZE), big_text, "long: size text of the large file");
  const std::wstring big_out = in_scratch(L"big.qvk");
  const Encryption slow{L"slow", L"", 45000, 524288};
  progress = start_encrypt(slow, big_out);
  if (progress) {
    check(wait_item_text(progress, ID_STATUS, L"Encrypting...", JOB_WAIT_MS), "long: status Encrypting...",
          "seen \"" + narrow(item_text(progress, ID_STATUS)) + "\"");
    check_text(item_text(progress, 1), L"&Pause", "long: button 1 reads &Pause");
    click(progress, 1);
    check(wait_item_text(progress, ID_STATUS, L"Paused", DIALOG_WAIT_MS), "long: Pause shows Paused");
    check_text(item_text(progress, 1), L"&Continue", "long: button 1 reads &Continue");
    screenshot(progress, L"12-progress-paused");
    check_progress_figures_fit(progress);
    click(progress, 1);
    check(wait_item_text(progress, ID_STATUS, L"Continuing...", DIALOG_WAIT_MS), "long: Continue shows Continuing...");
    check_text(item_text(progress, 1), L"&Pause", "long: button 1 back to &Pause");

    // Sent, not posted: when it returns the main window has handled the close.
    send(main_window, WM_CLOSE, 0, 0);
    check(IsWindow(main_window) && IsWindowVisible(main_window), "long: main window refuses to close during a job");
    check(IsWindow(progress) && IsWindowVisible(progress), "long: job goes on after the refused close");

    click(progress, 2);
    HWND confirm = wait_titled(L"Cancel Confirmation");
    check(confirm != nullptr, "cancel: confirmation appears");
    if (confirm) {
      screenshot(confirm, L"13-cancel-confirmation");
      check_text(item_text(progress, ID_STATUS), L"Paused", "cancel: job paused while asking");
      const HWND question = FindWindowExW(confirm, nullptr, L"Static", nullptr);
      check_text(text_of(question), L"Do you want to cancel?", "cancel: question text");
      check_text(item_text(confirm, 1), L"&Yes", "cancel: Yes button");
      check_text(item_text(confirm, 2), L"&No", "cancel: No button");
      click(confirm, 2);
      check(wait_gone(confirm), "cancel: No closes the confirmation");
      check(wait_item_text(progress, ID_STATUS, L"Continuing...", DIALOG_WAIT_MS), "cancel: No resumes the job");
    }
    click(progress, 2);
    confirm = wait_titled(L"Cancel Confirmation");
    check(confirm != nullptr, "cancel: confirmation appears again");
    if (confirm) {
      click(confirm, 1);
      check(wait_gone(progress, JOB_WAIT_MS), "cancel: Yes ends the job and closes the progress dialog");
    }
  }
  check(!exists(big_out), "cancel: no output left after a cancelled job");
  check_text(scratch_listing(),
             dialogs_only ? L"big.e2edata|key.material|plain.e2edata|plain.qvk"
                          : L"big.e2edata|decrypted.e2edata|key.material|keyed-out.e2edata|keyed.qvk|plain.e2edata|plain.qvk",
             "cancel: nothing else left in the folder");
  check_text(item_text(main_window, ID_CRYPT), L"&Encrypt...", "cancel: main window still shows the plain file");
}

void close_program(HANDLE process) {
  // Closing from Idle ends the process with exit code 0.
  PostMessageW(main_window, WM_CLOSE, 0, 0);
  const bool ended = WaitForSingleObject(process, DIALOG_WAIT_MS) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  check(ended, "close: the process ends when the main window closes");
  if (ended) check(code == 0, "close: exit code 0", "seen " + std::to_string(code));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  dialogs_only = argc == 5 && std::wstring(argv[4]) == L"--dialogs-only";
  if (argc != 4 && !dialogs_only) {
    std::printf("usage: corvane-e2e-driver <corvane.exe> <scratch folder> <screenshot folder> [--dialogs-only]\n");
    std::printf("0 passed, 1 failed\n");
    return 2;
  }
  scratch = argv[2];
  shot_folder = argv[3];
  note("driving %s%s", narrow(argv[1]).c_str(), dialogs_only ? ", its dialogs only" : "");
  // Screen pixels, as the program (per-monitor aware) sees them, whatever the DPI.
  using SetAwarenessFn = BOOL(WINAPI*)(HANDLE);
  const auto set_awareness = reinterpret_cast<SetAwarenessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  if (!set_awareness || !set_awareness(reinterpret_cast<HANDLE>(-4))) SetProcessDPIAware();
  // The drag source of the drop checks.
  check(SUCCEEDED(OleInitialize(nullptr)), "start: OLE for the drag source");
  app_resources = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  check(app_resources != nullptr, "start: the program's dialog templates can be read");
  run(argv[1]);
  // Whatever stopped the scenario, the program does not outlive the driver.
  if (app_process) {
    if (WaitForSingleObject(app_process, 0) == WAIT_TIMEOUT) TerminateProcess(app_process, 1);
    CloseHandle(app_process);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}
