// The paths a navigation bar has shown, most recent first, each once, so the
// edit field's drop-down offers every place exactly one time.
#pragma once

#include "base/btree.h"
#include "base/guardchar.h"
#include "base/stringkey.h"

class cNavigationHistory {
 public:
  cNavigationHistory() = default;
  cNavigationHistory(const cNavigationHistory&) = delete;
  cNavigationHistory& operator=(const cNavigationHistory&) = delete;
  ~cNavigationHistory() { init(); }

  void init();
  // A revisited path moves to the front rather than appearing twice.
  void setVisited(const char* path);
  // Null cursor: the most recent entry; then each older one; null after the
  // oldest. The cursor is only valid until the history changes.
  void* next(void* cursor, _guardchar<char>& out) const;

 private:
  cFasterTreeList<int, _guardchar<char>> byOrdinal_;
  cFasterTreeList<cStringKey, int> byPath_;
};
