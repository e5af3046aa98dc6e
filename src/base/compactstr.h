// A compact owned UTF-8 string that remembers the length of the text it was
// set from, so a text given as UTF-16 is kept as UTF-8 and handed back in
// either form.
#pragma once

class cCompactStr {
 public:
  char* text = nullptr;  // zero-terminated, null when empty
  // Units of the source: bytes for UTF-8, 16-bit units for UTF-16.
  unsigned short length = 0;

  cCompactStr() = default;
  cCompactStr(const cCompactStr&) = delete;
  cCompactStr& operator=(const cCompactStr&) = delete;
  ~cCompactStr() { destroy(); }

  void destroy();
  // n -1 measures up to the terminator. A length below 1, or one that does
  // not fit the 16-bit signed range, leaves the string empty.
  void set(const char* s, short n);
  void set(const unsigned short* s, short n);
  // At most cap - 2 bytes of text, always terminated within cap.
  void str(char* out, unsigned cap) const;
  // As many whole units as fit before a terminator within cap.
  void str(unsigned short* out, unsigned cap) const;
  unsigned short len() const { return length; }
};
