// A system call failing on purpose: work run in a child that strace holds,
// failing one chosen call with a chosen error, as a full disk, a failing
// disk or a refusing file system would.
#pragma once

#include <functional>
#include <string>

struct sFaultRun {
  // The child's exit status; -1 where strace could not hold it.
  int status = -1;
  // Whether the call failed as asked: false once the work makes fewer
  // such calls.
  bool injected = false;
};

// Runs `work` in a child whose `nth` call of `call` (counted from the
// moment strace holds it) fails with `error`, a name such as "EIO";
// `scratch` is a file strace may write its trace to.
sFaultRun underFault(const std::string& call, const std::string& error, int nth,
                     const std::function<int()>& work, const std::string& scratch);
