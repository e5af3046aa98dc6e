#include "tamsivarapp/runoption.h"

#include <cerrno>
#include <cstring>

#include "base/conproc.h"
#include "base/webaddress.h"
#include "ciom/ciomlang.h"
#include "tamsivarapp/textfill.h"

namespace {

// Rows of "pkgm::run": the option, then the reasons the system gives, and
// how the desktop's opener is named, as the file the option names is not
// what failed.
constexpr int kNotStarted = 0, kNotAProgram = 1, kMissing = 2, kNotAllowed = 3, kOther = 4, kOpener = 5,
              kAddressWithArguments = 6, kNotAbsolute = 7, kRelativeInterpreter = 8,
              kInterpreterNoProgram = 9;

// An exec's E2BIG would be told by the system's words; the address's is
// shellOpen's own.
int reasonRow(int error, const std::string& program) {
  switch (error) {
    case ENOEXEC: return kNotAProgram;
    case ENOENT:
    case ENOTDIR: return kMissing;
    case EACCES:
    case EPERM: return kNotAllowed;
    case E2BIG: return isWebAddress(program.c_str()) ? kAddressWithArguments : kOther;
    case kPathNotAbsolute: return kNotAbsolute;
    case kInterpreterNotAbsolute: return kRelativeInterpreter;
    case kInterpreterNotAProgram: return kInterpreterNoProgram;
    default: return kOther;
  }
}

}  // namespace

std::string startRunOption(const char* caption, const char* command, cCiomLangData* texts,
                           tRunOptionStarter start) {
  int error = 0;
  std::string program, script;
  if (start(command, &error, &program, &script)) return {};
  const auto row = [texts](int i) {
    const char* t = texts ? texts->string(i) : nullptr;
    return t ? t : "%s";
  };
  const int reason = reasonRow(error, program);
  std::string told = fillText(row(kNotStarted), caption);
  told += '\n';
  program = program == kDesktopOpener ? fillText(row(kOpener), program.c_str()) : visibleText(program);
  // A refused interpreter is told after the script that names it.
  const std::string first = script.empty() ? program : visibleText(script);
  told += fillTexts(row(reason), {first.c_str(), program.c_str()});
  if (reason == kOther) {
    told += ' ';
    told += error > 0 ? std::strerror(error) : "?";
  }
  return told;
}
