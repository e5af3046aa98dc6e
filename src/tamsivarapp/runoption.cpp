#include "tamsivarapp/runoption.h"

#include <cerrno>
#include <cstring>

#include "base/conproc.h"
#include "ciom/ciomlang.h"
#include "tamsivarapp/textfill.h"

namespace {

// Rows of "pkgm::run": the option, then the reasons the system gives.
constexpr int kNotStarted = 0, kNotAProgram = 1, kMissing = 2, kNotAllowed = 3, kOther = 4;

int reasonRow(int error) {
  switch (error) {
    case ENOEXEC: return kNotAProgram;
    case ENOENT:
    case ENOTDIR: return kMissing;
    case EACCES:
    case EPERM: return kNotAllowed;
    default: return kOther;
  }
}

}  // namespace

std::string startRunOption(const char* caption, const char* command, cCiomLangData* texts,
                           tRunOptionStarter start) {
  int error = 0;
  if (start(command, &error)) return {};
  const auto row = [texts](int i) {
    const char* t = texts ? texts->string(i) : nullptr;
    return t ? t : "%s";
  };
  const int reason = reasonRow(error);
  std::string told = fillText(row(kNotStarted), caption);
  told += '\n';
  told += fillText(row(reason), commandProgram(command).c_str());
  if (reason == kOther) {
    told += ' ';
    told += error > 0 ? std::strerror(error) : "?";
  }
  return told;
}
