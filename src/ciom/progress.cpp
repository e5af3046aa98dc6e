#include "ciom/progress.h"

#include <algorithm>

#include "ciom/canvas.h"
#include "ciom/themeuse.h"

namespace {

constexpr int kIdleLevels = 10;
constexpr int kMoveSteps = 10;
constexpr int kGradientRows = 20;
constexpr unsigned int kFrame = 241u << 16 | 213u << 8 | 198u;

const unsigned int kFillGradient[kGradientRows] = {
    0xA9EF9E, 0x9AE587, 0x97E383, 0x8FE078, 0x87DE6D, 0x84DD69, 0x84DD69, 0x84DD69, 0x84DD69, 0x84DD69,
    0x84DD69, 0x84DD69, 0x84DD69, 0x84DD69, 0xC6EBB7, 0xC8EBBA, 0xCCEDBF, 0xD5EFCC, 0xD6F2CF, 0xE2FCE0};
const unsigned int kTrackGradient[kGradientRows] = {
    0xF3F1F0, 0xE6E1DD, 0xE4DFDB, 0xE2DDD9, 0xE1DDD9, 0xE0DCD8, 0xE0DCD8, 0xE0DCD8, 0xE0DCD8, 0xE0DCD9,
    0xE0DCD9, 0xE0DCD9, 0xE0DDD9, 0xE1DDDA, 0xE9E6E3, 0xEBE8E4, 0xF0ECE9, 0xF4F0ED, 0xFAF7F3, 0xF8F8F7};

// A 1-pixel-wide column of the gradient stretched to `rows`.
bool makeColumn(const unsigned int* gradient, int rows, cPicture& out) {
  cPicture source;
  return source.create(gradient, 1, kGradientRows, false) && source.stretch(1, rows, &out);
}

}  // namespace

// The job.

int cProgressViewUpdateJob::cmd() {
  cSafeCriticalSectionAccess hold(&myLock);
  return myCommand;
}

void cProgressViewUpdateJob::setCmd(int c) {
  cSafeCriticalSectionAccess hold(&myLock);
  myCommand = c;
}

void cProgressViewUpdateJob::setPosInt(int p) {
  cSafeCriticalSectionAccess hold(&myLock);
  myPosition = p;
}

void cProgressViewUpdateJob::setRangeInt(int r) {
  cSafeCriticalSectionAccess hold(&myLock);
  myRange = r;
}

int cProgressViewUpdateJob::position() {
  cSafeCriticalSectionAccess hold(&myLock);
  return myPosition;
}

bool cProgressViewUpdateJob::tick() {
  for (int i = 0; i < 6; ++i) {
    sleep(5);
    if (haveToStop()) return false;
  }
  return true;
}

void cProgressViewUpdateJob::postPos(int pos) {
  if (owner) owner->postAction(new cProgressChild::cSetProgressRequestAction(pos));
}

void cProgressViewUpdateJob::postOpacity(double o) {
  if (owner) owner->postAction(new cProgressChild::cSetOpacityRequestAction(o));
}

int cProgressViewUpdateJob::job() {
  int idle = kIdleLevels;
  while (tick()) {
    switch (cmd()) {
      case cmdNone: break;
      case cmdStart: {
        setCmd(cmdNone);
        for (int level = idle; level >= 1; --level) {
          postOpacity(level * 0.1);
          if (!tick()) return 0;
          if (cmd() != cmdNone) break;
        }
        postOpacity(0);
        idle = 0;
        break;
      }
      case cmdStop: {
        setCmd(cmdNone);
        for (int level = idle; level < kIdleLevels; ++level) {
          postOpacity(level * 0.1);
          if (!tick()) return 0;
          if (cmd() != cmdNone) break;
        }
        postOpacity(1.0);
        idle = kIdleLevels;
        break;
      }
      case cmdMove: {
        int start, target;
        {
          cSafeCriticalSectionAccess hold(&myLock);
          myCommand = cmdNone;
          target = myMoveTarget = myRequested;
          // A move backwards runs again from the start.
          start = myPosition > target ? 0 : myPosition;
        }
        if (idle != 0) postOpacity(0);
        idle = 0;
        // A move to 0 from further on starts where it ends: it has no steps,
        // but still lands, or the bar would stay where it was.
        const double d = (static_cast<double>(target) - start) / kMoveSteps;
        for (int i = 0; i < kMoveSteps && start != target; ++i) {
          postPos(static_cast<int>(start + i * d));
          if (!tick()) return 0;
          if (cmd() != cmdNone) break;
        }
        postPos(target);
        setPosInt(target);
        break;
      }
      default: setCmd(cmdNone);
    }
  }
  return 0;
}

void cProgressViewUpdateJob::startProgress() {
  if (myRunning.load()) return;
  postPos(0);
  cSafeCriticalSectionAccess hold(&myLock);
  myPosition = 0;
  myCommand = cmdStart;
  myRunning = true;
}

void cProgressViewUpdateJob::setPos(int pos, bool noWait) {
  startProgress();
  // A pending start or stop is taken before the move; with no thread to take
  // it, nobody would, so the wait is skipped.
  if (!noWait)
    for (int c = cmd(); c != cmdNone && c != cmdMove && runs() && !haveToStop(); c = cmd()) sleep(10);
  cSafeCriticalSectionAccess hold(&myLock);
  myCommand = cmdMove;
  myRequested = pos;
}

void cProgressViewUpdateJob::stopProgress(bool immediately) {
  if (!myRunning.load()) return;
  if (!immediately) {
    int range;
    {
      cSafeCriticalSectionAccess hold(&myLock);
      range = myRange;
    }
    setPos(range, false);
    for (int i = 0; i < 40 && !haveToStop(); ++i) sleep(5);
  }
  cSafeCriticalSectionAccess hold(&myLock);
  myCommand = cmdStop;
  myRunning = false;
}

// The bar.

cProgressChild::~cProgressChild() {
  myJob.terminate();
  myJob.owner = nullptr;
}

void cProgressChild::onInitData() {
  cChildElement::onInitData();
  myJob.owner = this;
  myJob.start();
  myRange = 0;
  myShownPos = 0;
  myOpacity = 1.0;
  myPassiveBg = themeColor(14);
  myPassiveBorder = themeColor(21);
  buildProgressMap();
}

void cProgressChild::setRange(int range) {
  if (range <= 0) return;
  myRange = range;
  int shown = std::min(myShownPos.load(), range);
  myShownPos = shown;
  myJob.setRangeInt(range);
  myJob.setPosInt(shown);
}

void cProgressChild::setPos(int pos, bool noWait) {
  myJob.setPos(std::clamp(pos, 0, std::max(myRange.load(), 0)), noWait);
}

int cProgressChild::getPos() { return myJob.position(); }

void cProgressChild::setPassiveBgColor(unsigned int c, bool repaint) {
  myPassiveBg = c;
  if (repaint) this->repaint(nullptr);
}

void cProgressChild::setPassiveBorderColor(unsigned int c, bool repaint) {
  myPassiveBorder = c;
  if (repaint) this->repaint(nullptr);
}

void cProgressChild::xIntSetPos(int pos) {
  myShownPos = pos;
  buildProgressMap();
  repaint(nullptr);
}

void cProgressChild::xIntSetOpacity(double o) {
  myOpacity = o;
  buildProgressMap();
  repaint(nullptr);
}

bool cProgressChild::buildProgressMap() {
  const int w = width(), h = height();
  if (w < 3 || h < 3) return false;
  const int range = myRange.load();
  const int filled =
      range > 0 ? static_cast<int>(static_cast<double>(w) * std::clamp(myShownPos.load(), 0, range) / range) : 0;
  if (myFillColumn.height() != h - 2 &&
      !(makeColumn(kFillGradient, h - 2, myFillColumn) && makeColumn(kTrackGradient, h - 2, myTrackColumn)))
    return false;
  if ((myMap.width() != w || myMap.height() != h) && !myMap.create(w, h)) return false;
  const double o = std::clamp(myOpacity, 0.0, 1.0);
  // The idle colour is a colour word (red lowest); the map holds pixels
  // (blue lowest), so the colour is turned round before it is mixed in.
  const unsigned int idle[3] = {myPassiveBg >> 16 & 0xFF, myPassiveBg >> 8 & 0xFF, myPassiveBg & 0xFF};
  unsigned int* px = myMap.raw();
  auto frame = [](unsigned int& p) { p = (p & 0xFF000000) | kFrame; };
  for (int x = 0; x < w; ++x) {
    frame(px[x]);
    frame(px[static_cast<long long>(h - 1) * w + x]);
  }
  for (int r = 1; r < h - 1; ++r) {
    unsigned int* row = px + static_cast<long long>(r) * w;
    frame(row[0]);
    frame(row[w - 1]);
    const unsigned int fill = myFillColumn.raw()[r - 1], track = myTrackColumn.raw()[r - 1];
    for (int x = 1; x < w - 1; ++x) {
      const unsigned int c = x < filled ? fill : track;
      unsigned int out = row[x] & 0xFF000000;
      for (int k = 0; k < 3; ++k)
        out |= static_cast<unsigned int>(idle[k] * o + (c >> (8 * k) & 0xFF) * (1 - o)) << (8 * k);
      row[x] = out;
    }
  }
  return true;
}

void cProgressChild::paintAt(cCanvas* c, int x, int y, unsigned int border) {
  const int w = width(), h = height();
  if (myJob.runs() && w >= 3 && h >= 3 && myJob.running() && myMap.raw()) {
    c->drawBitmap(x, y, &myMap, -1, -1);
  } else {
    sRect all{x, y, w, h};
    c->drawRect(&all, myPassiveBg, border);
  }
}

void cProgressChild::onPaint(cCanvas* c) { paintAt(c, 0, 0, myPassiveBorder); }

bool cProgressChild::onBackgroundRequest(cCanvas* c, sRect* r) {
  if (!c || !r) return false;
  paintAt(c, -r->x, -r->y, themeColor(21));
  return true;
}

void cProgressChild::onSizeChanged() {
  cChildElement::onSizeChanged();
  buildProgressMap();
}

bool cProgressChild::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == this && a && a->code == acChange) {
    xIntSetPos(static_cast<cSetProgressRequestAction*>(a)->pos);
    return true;
  }
  if (sender == this && a && a->code == acActivate) {
    xIntSetOpacity(static_cast<cSetOpacityRequestAction*>(a)->opacity);
    return true;
  }
  return cChildElement::onAction(sender, a);
}
