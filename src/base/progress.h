// How a long operation reports how far it has come and learns whether to go
// on. Operations hold a pointer that may be null: nobody listens then.
#pragma once

class cProgressNotifyTarget {
 public:
  // `percent` runs from 0 to 100; false asks the operation to give up as soon
  // as it can and report its own failure or cancellation. Listeners limit
  // their own refresh rate and clamp the value themselves.
  virtual bool notifyProgress(double percent) = 0;
  // Stage numbers belong to the operation and its listener.
  virtual void notifyStage(int) {}
  virtual ~cProgressNotifyTarget() = default;
};
