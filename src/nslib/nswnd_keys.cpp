// X key symbols folded into the toolkit's 9-bit key codes.
#include <X11/keysym.h>

#include "nslib/nswnd.h"

int nswnd_key_code(unsigned long keysym) {
  // The toolkit knows one Enter, the keypad's.
  if (keysym == XK_Return || keysym == XK_KP_Enter) return 0x18D;
  // F8 and above have no code of their own, nor have the modifier keys.
  if (keysym >= XK_F8 && keysym <= XK_Hyper_R) return 0;
  if (keysym == XK_ISO_Left_Tab) return 0x109;
  if ((keysym & ~0xFFul) == 0xFF00) return static_cast<int>(0x100 | (keysym & 0xFF));
  if (keysym >= 'a' && keysym <= 'z') return static_cast<int>(keysym - 'a' + 'A');
  if (keysym >= 0x20 && keysym <= 0x7E) return static_cast<int>(keysym);
  return 0;
}
