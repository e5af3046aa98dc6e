// The platform's window maker and the holder of each window it makes.
#pragma once

#include "ciom/windowmaker.h"
#include "ciplatform/nswtranslator.h"

class cNSWHolder : public cWindowHolder {
 public:
  cNSWTranslator translator;
  // The maker's list that holds this holder, if any; a holder disposed of by
  // hand leaves it, so the maker never deletes it a second time.
  cList* list = nullptr;

  int typeOf() override { return 5; }
  void destroy() override { translator.close(); }
  cWindowRequestTarget* target() override { return &translator; }
  // Deletes the holder; with keepElement the root element outlives it.
  void dispose(bool keepElement) override;
};

class cNSWMaker : public cWindowMaker {
 public:
  bool create(void* instance, void* iconData, unsigned int iconDim) override;
  cCanvas* offscreen(int w, int h) override;
  int modal(const char* caption, int w, int h, cChildElement* element, cWindowRequestTarget* parent,
            bool resizable) override;
  cWindowHolder* asyncwnd(const char* caption, int w, int h, cChildElement* element,
                          cWindowRequestTarget* parent, bool resizable, int x, int y) override;
  void destroy(cWindowHolder* holder) override;
  int msgloop() override;
  bool recommendMainWindowSize(sRect& r) override;
  bool desktopSize(sSize& s) override;
};
