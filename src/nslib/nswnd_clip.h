// What the clipboard's two halves share: its limits, which tests make short
// or small, and reading a value from another owner.
#pragma once

#include <chrono>
#include <cstddef>

#include <X11/Xlib.h>

#include "nslib/nswnd.h"

struct sNSClipLimits {
  // A whole paste, however the owner paces it: the window waits no longer.
  std::chrono::milliseconds paste{5000};
  // A program that takes no piece of our value for this long is given up.
  std::chrono::milliseconds stall{10000};
  // The most a reply may bring; a value beyond it is cut (text) or refused.
  long long maxBytes = 64ll << 20;
  // The server's largest request in bytes; 0 reads it from the server.
  long maxRequest = 0;
};
sNSClipLimits& nswnd_clip_limits();

// Values going out in pieces to other programs just now.
size_t nswnd_clip_transfers();

using tClock = std::chrono::steady_clock;

// Another owner's text (UTF-8, or ISO 8859-1 when it offers only that) and
// raw bytes: the whole value, or its start when it passes `maxBytes`. False
// and empty when it has none or has not given all of it by the paste's end.
bool nswnd_clip_fetch_text(_typebuf<unsigned short>& text, tClock::time_point paste);
bool nswnd_clip_fetch_raw(_typebuf<unsigned char>& bytes, tClock::time_point paste);
