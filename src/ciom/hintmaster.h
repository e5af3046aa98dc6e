// The small pop-up that shows an element's hint text. The hint is the root
// of its own pop-up window, and the holder of that window would delete its
// root; so the hint lets its windows go with dispose(true) and is deleted by
// whoever made it (the element that shows it).
#pragma once

#include "ciom/child.h"
#include "ciom/windowmaker.h"

class cHintMaster : public cChildElement {
 public:
  cHintMaster() = default;
  ~cHintMaster() override;

  // Opens the window below the owner, or at `at`; 0xFF000000 stands for the
  // theme's colour. False when nothing is shown: then the window shown before
  // stays when the text had nothing to show, and is gone when the new window
  // could not be made.
  bool show(cChildElement* owner, const char* text, sPoint* at, unsigned int background, unsigned int textColour);
  // Lets the held window go and holds `window` (may be null).
  void set(cWindowHolder* window);
  bool hide();
  // Copies the text up to its first line feed into out; answers where the
  // next line starts, or null when the text ended.
  static const char* line(const char* text, _guardchar<char>& out);

  cWindowHolder* window() { return myWindow; }
  void onPaint(cCanvas* c) override;

 private:
  cWindowHolder* myWindow = nullptr;
  unsigned int myBackground = 0;
  unsigned int myTextColour = 0;
  int myLineHeight = 0;
};
