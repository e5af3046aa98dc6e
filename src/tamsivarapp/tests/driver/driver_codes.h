// The install driver's exit codes, one meaning each: where the package
// never reached the installer job, the install-init code (1 to 19); where
// the job ran and failed, its result moved past them (21 and up); 20 where
// it ran to its end but had to leave files it names ("kept" lines), for
// which the installer ends 1 too; 64 for arguments the driver does not
// take. A code either part adds gets a number of its own this way.
#pragma once

#include <cstddef>

#include "tamsivarapp/installinit.h"
#include "tamsivarapp/installjob.h"

constexpr int kDriverJobBase = 20;
constexpr int kDriverUsage = 64;
static_assert(iiStoreUnread < kDriverJobBase, "init codes run into the job's");
static_assert(kDriverJobBase + irRecordLeft < kDriverUsage, "job codes run into the usage code");

// The exit code of a run the init ended with `init`: a store that cannot
// be read, or no lock made in it, ends it as a record that cannot be
// saved does the job, nothing changed.
constexpr int driverInitCode(int init) { return init == iiStoreUnread ? kDriverJobBase + irRecordUnsaved : init; }

// The exit code of a run whose job ended with `result`, naming `kept`
// files as left.
constexpr int driverJobCode(int result, size_t kept = 0) {
  return result != irOk ? kDriverJobBase + result : kept ? kDriverJobBase : 0;
}
