// A plain window for the end-to-end checks that records the clicks it receives.
//   probe.exe <record file> [<left> <top> <width> <height>]
// The window, titled "Wintrel probe", is filled with green; each click turns it to the
// next of green, magenta and yellow and appends a line to the record file:
//   ready                        once the window is shown
//   down <button> <x> <y>        client coordinates, button L or R
// It ends with exit code 0 when closed, 2 for a bad command line.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const COLORREF kColors[] = {RGB(0, 200, 0), RGB(200, 0, 200), RGB(230, 230, 0)};
int g_color = 0;
std::wstring g_record;

void Record(const char* line) {
  FILE* f = _wfopen(g_record.c_str(), L"ab");
  if (f == nullptr) return;
  std::fputs(line, f);
  std::fputc('\n', f);
  std::fclose(f);
}

void Click(HWND hwnd, char button, LPARAM lParam) {
  char line[64];
  std::snprintf(line, sizeof line, "down %c %d %d", button, static_cast<short>(LOWORD(lParam)),
                static_cast<short>(HIWORD(lParam)));
  Record(line);
  g_color = (g_color + 1) % 3;
  InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      Click(hwnd, 'L', lParam);
      return 0;
    case WM_RBUTTONDOWN:
      Click(hwnd, 'R', lParam);
      return 0;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd, &r);
      HBRUSH brush = CreateSolidBrush(kColors[g_color]);
      FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
      DeleteObject(brush);
      return 1;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || (argc != 2 && argc != 6)) return 2;
  g_record = argv[1];
  int rect[4] = {200, 200, 300, 200};
  for (int i = 0; argc == 6 && i < 4; ++i) rect[i] = static_cast<int>(std::wcstol(argv[2 + i], nullptr, 10));
  LocalFree(argv);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = L"WintrelProbe";
  if (!RegisterClassExW(&wc)) return 2;
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Wintrel probe", WS_POPUP,
                              rect[0], rect[1], rect[2], rect[3], nullptr, nullptr,
                              wc.hInstance, nullptr);
  if (hwnd == nullptr) return 2;
  ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  UpdateWindow(hwnd);
  Record("ready");
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
