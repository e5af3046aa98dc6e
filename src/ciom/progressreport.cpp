#include "ciom/progressreport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void cProgressReport::setTexts(const char* withPercent, const char* withoutPercent, const char* operation) {
  cSafeCriticalSectionAccess hold(&myLock);
  myWithPercent = withPercent ? withPercent : "";
  myWithoutPercent = withoutPercent ? withoutPercent : "";
  myOperation = operation ? operation : "";
  if (myStage.empty()) myStage = myOperation;
}

void cProgressReport::setStageName(int stage, const char* name) {
  cSafeCriticalSectionAccess hold(&myLock);
  myNames.insert(stage)->set(name);
}

void cProgressReport::startStage(int stage, unsigned int now) {
  cSafeCriticalSectionAccess hold(&myLock);
  const _guardchar<char>* name = myNames.find(stage);
  myStage = name && name->ptr ? name->ptr : myOperation;
  myStageStart = now;
}

void cProgressReport::restart(const char* title, unsigned int now) {
  cSafeCriticalSectionAccess hold(&myLock);
  if (title) myStage = title;
  myStageStart = now;
  myLastUpdate = 0;
}

std::string cProgressReport::format(double shownPercent, unsigned int elapsedMs, unsigned int leftMs) {
  const auto hms = [](unsigned int ms, int& h, int& m, int& s) {
    const unsigned int secs = ms / 1000;
    h = static_cast<int>(ms / 3600000);
    m = static_cast<int>(secs % 3600 / 60);
    s = static_cast<int>(secs % 60);
  };
  int eh, em, es, lh, lm, ls;
  hms(elapsedMs, eh, em, es);
  hms(leftMs, lh, lm, ls);
  char line[256];
  // The wording comes from the toolkit's own language tables, whose entries
  // take exactly these arguments.
  if (myMeasurable)
    std::snprintf(line, sizeof line, myWithPercent.c_str(), myStage.c_str(), shownPercent, eh, em, es, lh, lm, ls);
  else
    std::snprintf(line, sizeof line, myWithoutPercent.c_str(), myStage.c_str(), eh, em, es);
  return line;
}

bool cProgressReport::report(double percent, unsigned int now, int& position, std::string& status) {
  percent = std::isnan(percent) ? 0 : std::clamp(percent, 0.0, 100.0);
  cSafeCriticalSectionAccess hold(&myLock);
  if (now - myLastUpdate < kThrottleMs || percent == 0) return false;
  myLastUpdate = now;
  position = static_cast<int>(10 * percent);
  const unsigned int elapsed = myLastUpdate - myStageStart;
  const double left = std::trunc((100 - percent) * (elapsed / percent));
  status = format(position / 10.0, elapsed, static_cast<unsigned int>(std::min(left, 4294967295.0)));
  return true;
}
