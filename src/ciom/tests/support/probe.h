// An element that writes what reaches it into a shared log, so tests can
// check the order in which a tree routed an event.
#pragma once

#include <string>
#include <vector>

#include "ciom/child.h"
#include "support/testplatform.h"

struct sProbeLog {
  std::vector<std::string> lines;
  void add(const std::string& s) { lines.push_back(s); }
  std::string joined() const {
    std::string all;
    for (const std::string& s : lines) all += (all.empty() ? "" : " ") + s;
    return all;
  }
};

class cProbe : public cChildElement {
 public:
  std::string name;
  sProbeLog* log;
  bool tabStop = false;
  bool handles = false;  // onAction answers true
  bool arrowsCaptured = false;
  bool cyclic = false;

  cProbe(const char* n, sProbeLog* l) : name(n), log(l) {}

  bool wantTabStop() override { return tabStop; }
  bool wantCaptureArrows() override { return arrowsCaptured; }
  bool wantCyclicArrowTabStop() override { return cyclic; }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    log->add(name + ":action" + std::to_string(a->code) + "<" + static_cast<cProbe*>(sender)->name);
    return cChildElement::onAction(sender, a) || handles;
  }
  void onKey(int key, bool, bool, bool) override { log->add(name + ":key" + std::to_string(key)); }
  void onChar(unsigned short ch, bool, bool, bool) override { log->add(name + ":char" + std::to_string(ch)); }
  void onMouseButton(int x, int y, int button, bool down) override {
    log->add(name + ":btn" + std::to_string(button) + (down ? "d" : "u") + "@" + std::to_string(x) + "," +
             std::to_string(y));
  }
  void onMouseDoubleClick(int x, int y) override {
    log->add(name + ":dbl@" + std::to_string(x) + "," + std::to_string(y));
    cChildElement::onMouseDoubleClick(x, y);
  }
  void onMouseOver() override { log->add(name + ":over"); }
  void onMouseLeft() override { log->add(name + ":left"); }
};

// A test window of w x h whose root is a probe named "form".
struct sProbeWindow {
  sProbeLog log;
  cTestRequestTarget target;
  cProbe form{"form", &log};
  explicit sProbeWindow(int w = 200, int h = 100) { target.bind(&form, w, h); }
};
