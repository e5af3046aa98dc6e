#include <gtest/gtest.h>
// clang-format off
#include <X11/keysym.h>
#include <X11/XF86keysym.h>
// clang-format on

#include "nslib/nswnd.h"

TEST(KeyCode, FoldsSymbolsIntoTheToolkitCodes) {
  // clang-format off
  const struct {
    unsigned long sym;
    int code;
  } cases[] = {
      {XK_Return, 0x18D}, {XK_KP_Enter, 0x18D}, {XK_Tab, 0x109}, {XK_ISO_Left_Tab, 0x109}, {XK_Escape, 0x11B},
      {XK_BackSpace, 0x108}, {XK_Delete, 0x1FF}, {XK_Home, 0x150}, {XK_Left, 0x151}, {XK_Up, 0x152},
      {XK_Right, 0x153}, {XK_Down, 0x154}, {XK_Page_Up, 0x155}, {XK_End, 0x157}, {XK_Insert, 0x163},
      {XK_F1, 0x1BE}, {XK_F5, 0x1C2}, {XK_F7, 0x1C4}, {XK_KP_Home, 0x195}, {XK_KP_Delete, 0x19F},
      {XK_KP_Add, 0x1AB}, {XK_Num_Lock, 0x17F}, {XK_Scroll_Lock, 0x114}, {XK_Pause, 0x113}, {'a', 'A'},
      {'z', 'Z'}, {'Q', 'Q'}, {'1', '1'}, {' ', ' '}, {'-', '-'}, {'`', '`'}, {'~', '~'},
      // No code: F8 and above, the modifiers, and symbols outside both ranges.
      {XK_F8, 0}, {XK_F12, 0}, {XK_F24, 0}, {XK_Shift_L, 0}, {XK_Control_R, 0}, {XK_Alt_L, 0},
      {XK_Super_L, 0}, {XK_Caps_Lock, 0}, {XK_Cyrillic_ya, 0}, {XK_eacute, 0}, {NoSymbol, 0},
      {XF86XK_AudioMute, 0}};
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(nswnd_key_code(c.sym), c.code) << std::hex << c.sym;
}
