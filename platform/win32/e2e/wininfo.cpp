// Lists the desktop's top-level windows for the end-to-end checks, one per line, fields
// separated by tabs (texts in UTF-8):
//   window  <handle> <process image name> <visible 0/1> <style hex> <exstyle hex>
//           <left> <top> <right> <bottom> <class> <title>
// preceded by
//   screen  <width> <height>
//   work    <left> <top> <right> <bottom>
//   active  <foreground window handle>
// Exit code 0.
//   wininfo.exe hold
// waits until it is ended, keeping the desktop of a session alive between programs.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Utf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  for (char& c : out) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return out;
}

std::string ImageName(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return "?";
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  std::string name = "?";
  if (QueryFullProcessImageNameW(process, 0, path, &size)) {
    const wchar_t* base = path;
    for (const wchar_t* p = path; *p; ++p) {
      if (*p == L'\\' || *p == L'/') base = p + 1;
    }
    name = Utf8(base, static_cast<int>(wcslen(base)));
  }
  CloseHandle(process);
  return name;
}

BOOL CALLBACK List(HWND hwnd, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  RECT r{};
  GetWindowRect(hwnd, &r);
  wchar_t cls[256] = {};
  const int clsLength = GetClassNameW(hwnd, cls, 256);
  wchar_t title[512] = {};
  const int titleLength = GetWindowTextW(hwnd, title, 512);
  std::printf("window\t%llx\t%s\t%d\t%08lx\t%08lx\t%ld\t%ld\t%ld\t%ld\t%s\t%s\n",
              static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwnd)),
              ImageName(pid).c_str(), IsWindowVisible(hwnd) ? 1 : 0,
              static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_EXSTYLE)), r.left, r.top,
              r.right, r.bottom, Utf8(cls, clsLength).c_str(), Utf8(title, titleLength).c_str());
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "hold") == 0) {
    Sleep(INFINITE);
    return 0;
  }
  std::printf("screen\t%d\t%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  std::printf("work\t%ld\t%ld\t%ld\t%ld\n", work.left, work.top, work.right, work.bottom);
  std::printf("active\t%llx\n",
              static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(GetForegroundWindow())));
  EnumWindows(List, 0);
  std::fflush(stdout);
  return 0;
}
