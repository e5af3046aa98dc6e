#include "tamsivarapp/runoption.h"

#include <cerrno>
#include <cstdio>
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
              kAddressWithArguments = 6;

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
    default: return kOther;
  }
}

// A name as the eye can read it: a character that shows nothing (a
// carriage return that ended a "#!" line written with CR LF) shown as its
// escape.
std::string shown(const std::string& name) {
  std::string out;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string startRunOption(const char* caption, const char* command, cCiomLangData* texts,
                           tRunOptionStarter start) {
  int error = 0;
  std::string program;
  if (start(command, &error, &program)) return {};
  const auto row = [texts](int i) {
    const char* t = texts ? texts->string(i) : nullptr;
    return t ? t : "%s";
  };
  const int reason = reasonRow(error, program);
  std::string told = fillText(row(kNotStarted), caption);
  told += '\n';
  program = program == kDesktopOpener ? fillText(row(kOpener), program.c_str()) : shown(program);
  told += fillText(row(reason), program.c_str());
  if (reason == kOther) {
    told += ' ';
    told += error > 0 ? std::strerror(error) : "?";
  }
  return told;
}
