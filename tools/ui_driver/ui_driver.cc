// Drives the installer's windows as a person would, for the end-to-end tests:
// finds a process's visible top-level window and works its controls by id.
//
//   ui_driver            reads commands from standard input, one a line, and
//                        answers each with key=value lines and a line "end".
//
// Commands (a window is found by the file name of its process's image):
//   find EXE_NAME TIMEOUT_MS     waits for a visible top-level window; answers
//                                hwnd, rect (screen), client (screen) and title
//   gone TIMEOUT_MS              waits until that window is gone
//   controls                     one line per child: id, class, visible, rect
//                                (client coordinates) and text
//   text ID | check ID           a control's text, or BM_GETCHECK
//   click ID                     BM_CLICK to the first visible child with ID
//   key escape                   Escape pressed on the focused control
//   syscommand close             WM_SYSCOMMAND SC_CLOSE
//   post NAME WPARAM             posts the registered message NAME
//   null TIMEOUT_MS              WM_NULL with a time-out: how long it took
//   dialog TIMEOUT_MS            switches to another visible top-level window
//                                of the same process (a secondary dialog)
//   main                         switches back to the window `find` found
//   layout VARIANT SCALE         the window layout's rectangles for a variant
//                                at a scale, in device pixels, by name
//   quit
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ui/layout.h"
#include "ui/scaler.h"

namespace {

HWND g_window = nullptr;
HWND g_main = nullptr;
DWORD g_process = 0;

std::string Narrow(const std::wstring& text) {
  if (text.empty())
    return {};
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                        size, nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& text) {
  int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

// Line breaks in texts would split the answer's lines.
std::string Escaped(const std::wstring& text) {
  std::string out;
  for (char c : Narrow(text)) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[2048] = {};
  // WM_GETTEXT, as a screen reader asks; it works across processes.
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 5000, &length);
  return std::wstring(buffer, length);
}

std::wstring ImageName(DWORD process_id) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (!process)
    return {};
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  std::wstring name;
  if (::QueryFullProcessImageNameW(process, 0, path, &size)) {
    name = path;
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
      name = name.substr(slash + 1);
  }
  ::CloseHandle(process);
  return name;
}

struct Search {
  std::wstring exe;
  HWND found;
};

// A person sees windows with an area; the elevation prompt's owner is a
// visible window of no size.
bool IsSeen(HWND window) {
  RECT rect;
  return ::IsWindowVisible(window) && ::GetWindowRect(window, &rect) &&
         rect.right > rect.left && rect.bottom > rect.top;
}

BOOL CALLBACK FindByImage(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (!IsSeen(window))
    return TRUE;
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (::lstrcmpiW(ImageName(process).c_str(), search->exe.c_str()) != 0)
    return TRUE;
  search->found = window;
  return FALSE;
}

void PrintRect(const char* key, RECT rect) {
  std::printf("%s=%ld,%ld,%ld,%ld\n", key, rect.left, rect.top, rect.right, rect.bottom);
}

void PrintWindow();

void Find(const std::wstring& exe, DWORD timeout_ms) {
  ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  Search search = {exe, nullptr};
  do {
    search.found = nullptr;
    ::EnumWindows(&FindByImage, reinterpret_cast<LPARAM>(&search));
    if (search.found)
      break;
    ::Sleep(5);
  } while (::GetTickCount64() < deadline);
  g_window = g_main = search.found;
  if (!g_window) {
    std::printf("error=not found\n");
    return;
  }
  ::GetWindowThreadProcessId(g_window, &g_process);
  PrintWindow();
}

void PrintWindow() {
  RECT rect;
  ::GetWindowRect(g_window, &rect);
  std::printf("hwnd=%llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(g_window)));
  PrintRect("rect", rect);
  RECT client;
  ::GetClientRect(g_window, &client);
  ::MapWindowPoints(g_window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  PrintRect("client", client);
  std::printf("title=%s\n", Escaped(WindowText(g_window)).c_str());
}

HWND Child(int id) {
  HWND fallback = nullptr;
  for (HWND child = ::GetWindow(g_window, GW_CHILD); child;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::GetDlgCtrlID(child) != id)
      continue;
    if (::IsWindowVisible(child))
      return child;
    if (!fallback)
      fallback = child;
  }
  return fallback;
}

void Controls() {
  for (HWND child = ::GetWindow(g_window, GW_CHILD); child;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t class_name[64] = {};
    ::GetClassNameW(child, class_name, 64);
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, g_window, reinterpret_cast<POINT*>(&rect), 2);
    std::printf("control=%d|%s|%d|%ld,%ld,%ld,%ld|%s\n", ::GetDlgCtrlID(child),
                Narrow(class_name).c_str(), ::IsWindowVisible(child) ? 1 : 0, rect.left,
                rect.top, rect.right, rect.bottom, Escaped(WindowText(child)).c_str());
  }
}

struct OtherSearch {
  DWORD process;
  HWND not_this;
  HWND found;
};

BOOL CALLBACK FindOther(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<OtherSearch*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != search->process || window == search->not_this || !IsSeen(window))
    return TRUE;
  search->found = window;
  return FALSE;
}

void Layout(int variant, double scale) {
  const ui::Scaler scaler(scale);
  for (const ui::NamedRect& named : ui::NamedRects(ui::LayoutFor(variant)))
    PrintRect(named.name, scaler.ToDevice(named.rect));
}

void Command(const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (verb == "layout") {
    int variant = 0;
    double scale = 1.0;
    in >> variant >> scale;
    Layout(variant, scale);
  } else if (verb == "main") {
    g_window = g_main;
    std::printf("hwnd=%llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(g_window)));
  } else if (verb == "dialog") {
    DWORD timeout = 0;
    in >> timeout;
    OtherSearch search = {g_process, g_main, nullptr};
    ULONGLONG deadline = ::GetTickCount64() + timeout;
    do {
      ::EnumWindows(&FindOther, reinterpret_cast<LPARAM>(&search));
      if (search.found)
        break;
      ::Sleep(100);
    } while (::GetTickCount64() < deadline);
    if (!search.found) {
      std::printf("error=no dialog\n");
    } else {
      g_window = search.found;
      PrintWindow();
    }
  } else if (verb == "find") {
    std::string exe;
    DWORD timeout = 0;
    in >> exe >> timeout;
    Find(Widen(exe), timeout);
  } else if (!g_window) {
    std::printf("error=no window\n");
  } else if (verb == "gone") {
    DWORD timeout = 0;
    in >> timeout;
    ULONGLONG deadline = ::GetTickCount64() + timeout;
    while (::IsWindow(g_window) && ::IsWindowVisible(g_window) && ::GetTickCount64() < deadline)
      ::Sleep(100);
    std::printf("gone=%d\n", ::IsWindow(g_window) && ::IsWindowVisible(g_window) ? 0 : 1);
  } else if (verb == "controls") {
    Controls();
  } else if (verb == "text" || verb == "check" || verb == "click") {
    int id = 0;
    in >> id;
    HWND child = Child(id);
    if (!child) {
      std::printf("error=no control %d\n", id);
    } else if (verb == "text") {
      std::printf("text=%s\n", Escaped(WindowText(child)).c_str());
    } else if (verb == "check") {
      std::printf("check=%lld\n", static_cast<long long>(::SendMessageW(child, BM_GETCHECK, 0, 0)));
    } else {
      // Posted: a click that opens a modal dialog must not hold the driver.
      ::PostMessageW(child, BM_CLICK, 0, 0);
      std::printf("clicked=%d\n", id);
    }
  } else if (verb == "key") {
    GUITHREADINFO info = {sizeof(info)};
    DWORD thread = ::GetWindowThreadProcessId(g_window, nullptr);
    HWND target = ::GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : g_window;
    ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    std::printf("key=escape\n");
  } else if (verb == "syscommand") {
    ::PostMessageW(g_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::printf("syscommand=close\n");
  } else if (verb == "post") {
    std::string name;
    unsigned long long wparam = 0;
    in >> name >> wparam;
    UINT message = ::RegisterWindowMessageW(Widen(name).c_str());
    BOOL ok = ::PostMessageW(g_window, message, static_cast<WPARAM>(wparam), 0);
    std::printf("posted=%d\n", ok ? 1 : 0);
  } else if (verb == "null") {
    DWORD timeout = 0;
    in >> timeout;
    ULONGLONG start = ::GetTickCount64();
    DWORD_PTR result = 0;
    LRESULT ok = ::SendMessageTimeoutW(g_window, WM_NULL, 0, 0, SMTO_NORMAL, timeout, &result);
    std::printf("answered=%d\nms=%llu\n", ok ? 1 : 0, ::GetTickCount64() - start);
  } else {
    std::printf("error=unknown command\n");
  }
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line == "quit")
      break;
    Command(line);
    std::printf("end\n");
    std::fflush(stdout);
  }
  return 0;
}
