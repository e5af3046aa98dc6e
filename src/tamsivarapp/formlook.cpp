#include "tamsivarapp/formlook.h"

#include <cstdio>

#include "tamsivarapp/cistd.h"

void placeIn(cChildElement& parent, cChildElement& e, int x, int y, int w, int h) {
  parent.attach(&e, x, y, 10, 10);
  parent.anchor(&e, x, y, w, h);
}

void styleLink(cLinkElement& link, const char* text) {
  link.setFont(mkBtnFont(true));
  link.setColorSchema(kLookLink, kLookWhite, kLookWhite);
  link.setText(text ? text : "", cCanvas::eAlignLeft, false);
}

std::string formatRow(const char* format, const char* value) {
  if (!format) return {};
  char text[512];
  std::snprintf(text, sizeof text, format, value ? value : "");
  return text;
}
