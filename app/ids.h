// Identifiers of the program's window and its units, and the stored offsets by which
// the window definition names the program's handlers.
#pragma once
#include <cstdint>

namespace wintrel::app {

inline constexpr uint32_t kWindowId = 0x52010001;
inline constexpr uint32_t kWindowUnit = 0x06010000;
inline constexpr uint32_t kMenuTop = 0x260100E6;    // "菜单", hidden
inline constexpr uint32_t kMenuAbout = 0x260100E7;  // "关于"
inline constexpr uint32_t kMenuExit = 0x260100E8;   // "退出"
inline constexpr uint32_t kSpawnTimer = 0x16010025;   // 时钟1
inline constexpr uint32_t kFlakeTemplate = 0x16010002;  // 动画物体雪花
inline constexpr uint32_t kStage = 0x16010003;        // 动画框桌面

// Handler offsets in the program's code, as the definition stores them.
inline constexpr int32_t kOnWindowCreated = 0x1010;
inline constexpr int32_t kOnWindowSizeChanged = 0x1020;
inline constexpr int32_t kOnTrayEvent = 0x1030;
inline constexpr int32_t kOnAboutSelected = 0x1040;
inline constexpr int32_t kOnExitSelected = 0x1050;
inline constexpr int32_t kOnSpawnTimer = 0x1060;

// Property numbers the program writes and reads.
inline constexpr int32_t kPropWidth = 2;
inline constexpr int32_t kPropHeight = 3;
inline constexpr int32_t kPropPeriod = 8;    // timer
inline constexpr int32_t kPropPicture = 11;  // template
inline constexpr int32_t kPropZoom = 21;     // template

// Texts, stored in code page 936.
inline constexpr char kTextMenu[] = "\xB2\xCB\xB5\xA5";    // 菜单
inline constexpr char kTextAbout[] = "\xB9\xD8\xD3\xDA";   // 关于
inline constexpr char kTextExit[] = "\xCD\xCB\xB3\xF6";    // 退出
inline constexpr char kAboutTitle[] = "\xB9\xD8\xD3\xDA\xD7\xF7\xD5\xDF";  // 关于作者
// 软件纯属娱乐,请勿用于任何商业用途!\r\n作者:Tobrin
inline constexpr char kAboutText[] =
    "\xC8\xED\xBC\xFE\xB4\xBF\xCA\xF4\xD3\xE9\xC0\xD6,\xC7\xEB\xCE\xF0\xD3\xC3\xD3\xDA\xC8\xCE"
    "\xBA\xCE\xC9\xCC\xD2\xB5\xD3\xC3\xCD\xBE!\r\n\xD7\xF7\xD5\xDF:Tobrin";
inline constexpr char kTimerName[] = "\xCA\xB1\xD6\xD3" "1";                              // 时钟1
inline constexpr char kTemplateName[] = "\xB6\xAF\xBB\xAD\xCE\xEF\xCC\xE5\xD1\xA9\xBB\xA8";  // 动画物体雪花
inline constexpr char kStageName[] = "\xB6\xAF\xBB\xAD\xBF\xF2\xD7\xC0\xC3\xE6";           // 动画框桌面
inline constexpr char kTooltip[] = "Wintrel";

}  // namespace wintrel::app
