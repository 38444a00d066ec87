// Numbers of the window system's vocabulary: messages, styles, flags and indices.
// They carry the values the real window system uses, so the Win32 back end passes
// them through unchanged and the simulated desktop speaks the same language.
// This header is plain C++: it includes no system header.
#pragma once
#include <cstdint>

namespace wintrel::ws {

// Messages
inline constexpr uint32_t WM_NULL = 0x0000;
inline constexpr uint32_t WM_CREATE = 0x0001;
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_MOVE = 0x0003;
inline constexpr uint32_t WM_SIZE = 0x0005;
inline constexpr uint32_t WM_ACTIVATE = 0x0006;
inline constexpr uint32_t WM_SETFOCUS = 0x0007;
inline constexpr uint32_t WM_KILLFOCUS = 0x0008;
inline constexpr uint32_t WM_ENABLE = 0x000A;
inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr uint32_t WM_SHOWWINDOW = 0x0018;
inline constexpr uint32_t WM_SETFONT = 0x0030;
inline constexpr uint32_t WM_WINDOWPOSCHANGED = 0x0047;
inline constexpr uint32_t WM_CONTEXTMENU = 0x007B;
inline constexpr uint32_t WM_NCCREATE = 0x0081;
inline constexpr uint32_t WM_NCDESTROY = 0x0082;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_CHAR = 0x0102;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t WM_APP = 0x8000;

// SC_CLOSE for WM_SYSCOMMAND
inline constexpr uint32_t SC_CLOSE = 0xF060;
inline constexpr uint32_t SC_MOVE = 0xF010;

// WM_SIZE kinds
inline constexpr uint32_t SIZE_RESTORED = 0;
inline constexpr uint32_t SIZE_MINIMIZED = 1;
inline constexpr uint32_t SIZE_MAXIMIZED = 2;

// Window styles
inline constexpr uint32_t WS_OVERLAPPED = 0x00000000;
inline constexpr uint32_t WS_POPUP = 0x80000000;
inline constexpr uint32_t WS_CHILD = 0x40000000;
inline constexpr uint32_t WS_MINIMIZE = 0x20000000;
inline constexpr uint32_t WS_VISIBLE = 0x10000000;
inline constexpr uint32_t WS_DISABLED = 0x08000000;
inline constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000;
inline constexpr uint32_t WS_CLIPCHILDREN = 0x02000000;
inline constexpr uint32_t WS_MAXIMIZE = 0x01000000;
inline constexpr uint32_t WS_CAPTION = 0x00C00000;
inline constexpr uint32_t WS_BORDER = 0x00800000;
inline constexpr uint32_t WS_DLGFRAME = 0x00400000;
inline constexpr uint32_t WS_SYSMENU = 0x00080000;
inline constexpr uint32_t WS_THICKFRAME = 0x00040000;
inline constexpr uint32_t WS_MINIMIZEBOX = 0x00020000;
inline constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000;
inline constexpr uint32_t WS_TABSTOP = 0x00010000;

// Extended window styles
inline constexpr uint32_t WS_EX_DLGMODALFRAME = 0x00000001;
inline constexpr uint32_t WS_EX_TOPMOST = 0x00000008;
inline constexpr uint32_t WS_EX_TOOLWINDOW = 0x00000080;
inline constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200;
inline constexpr uint32_t WS_EX_STATICEDGE = 0x00020000;
inline constexpr uint32_t WS_EX_LAYERED = 0x00080000;

// Class styles
inline constexpr uint32_t CS_VREDRAW = 0x0001;
inline constexpr uint32_t CS_HREDRAW = 0x0002;
inline constexpr uint32_t CS_DBLCLKS = 0x0008;

// GetWindowLong / SetWindowLong indices
inline constexpr int32_t GWL_STYLE = -16;
inline constexpr int32_t GWL_EXSTYLE = -20;

// ShowWindow commands
inline constexpr int32_t SW_HIDE = 0;
inline constexpr int32_t SW_SHOWNORMAL = 1;
inline constexpr int32_t SW_SHOWMINIMIZED = 2;
inline constexpr int32_t SW_SHOWMAXIMIZED = 3;
inline constexpr int32_t SW_SHOWNOACTIVATE = 4;
inline constexpr int32_t SW_SHOW = 5;
inline constexpr int32_t SW_SHOWNA = 8;
inline constexpr int32_t SW_RESTORE = 9;

// SetWindowPos
inline constexpr uint32_t SWP_NOSIZE = 0x0001;
inline constexpr uint32_t SWP_NOMOVE = 0x0002;
inline constexpr uint32_t SWP_NOZORDER = 0x0004;
inline constexpr uint32_t SWP_NOREDRAW = 0x0008;
inline constexpr uint32_t SWP_NOACTIVATE = 0x0010;
inline constexpr uint32_t SWP_FRAMECHANGED = 0x0020;
inline constexpr uint32_t SWP_SHOWWINDOW = 0x0040;
inline constexpr uint32_t SWP_HIDEWINDOW = 0x0080;
inline constexpr uint32_t SWP_NOOWNERZORDER = 0x0200;

// Special insert-after values for SetWindowPos (as handle values)
inline constexpr intptr_t HWND_TOP = 0;
inline constexpr intptr_t HWND_BOTTOM = 1;
inline constexpr intptr_t HWND_TOPMOST = -1;
inline constexpr intptr_t HWND_NOTOPMOST = -2;

// Virtual keys
inline constexpr int32_t VK_TAB = 0x09;
inline constexpr int32_t VK_RETURN = 0x0D;
inline constexpr int32_t VK_SHIFT = 0x10;
inline constexpr int32_t VK_CONTROL = 0x11;
inline constexpr int32_t VK_MENU = 0x12;  // Alt
inline constexpr int32_t VK_ESCAPE = 0x1B;
inline constexpr int32_t VK_F1 = 0x70;

// Layered windows
inline constexpr uint32_t LWA_COLORKEY = 0x1;
inline constexpr uint32_t LWA_ALPHA = 0x2;

// System metrics
inline constexpr int32_t SM_CXSCREEN = 0;
inline constexpr int32_t SM_CYSCREEN = 1;

// System colours
inline constexpr int32_t COLOR_BTNFACE = 15;

// Menus
inline constexpr uint32_t MF_STRING = 0x0000;
inline constexpr uint32_t MF_GRAYED = 0x0001;
inline constexpr uint32_t MF_DISABLED = 0x0002;
inline constexpr uint32_t MF_CHECKED = 0x0008;
inline constexpr uint32_t MF_POPUP = 0x0010;
inline constexpr uint32_t MF_SEPARATOR = 0x0800;
inline constexpr uint32_t TPM_LEFTALIGN = 0x0000;
inline constexpr uint32_t TPM_RIGHTALIGN = 0x0008;
inline constexpr uint32_t TPM_RETURNCMD = 0x0100;

// Message boxes
inline constexpr uint32_t MB_OK = 0x0000;
inline constexpr uint32_t MB_ICONERROR = 0x0010;
inline constexpr uint32_t MB_ICONINFORMATION = 0x0040;
inline constexpr uint32_t MB_SYSTEMMODAL = 0x1000;
inline constexpr uint32_t MB_TASKMODAL = 0x2000;
inline constexpr int32_t IDOK = 1;

// Notification area
inline constexpr uint32_t NIM_ADD = 0;
inline constexpr uint32_t NIM_MODIFY = 1;
inline constexpr uint32_t NIM_DELETE = 2;
inline constexpr uint32_t NIF_MESSAGE = 0x1;
inline constexpr uint32_t NIF_ICON = 0x2;
inline constexpr uint32_t NIF_TIP = 0x4;

// Private messages of the runtime's windows
inline constexpr uint32_t WM_TRAYNOTIFY = WM_APP + 100;     // 0x8064
inline constexpr uint32_t WM_DEFERREDCLOSE = WM_APP + 101;  // 0x8065

}  // namespace wintrel::ws
