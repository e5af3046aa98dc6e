// A test's mounts are its own: seen by its process and the programs it
// starts from then on, never by the rest of the machine, where a test
// listing the mounted file systems (the folder chooser's Computer level)
// would find them come and go. They also go with the process, however it
// ends.
#pragma once

#include <sched.h>
#include <sys/mount.h>

// For the calling thread and what it starts afterwards. Without the right
// to, mounts are made where they were before.
inline void keepMountsPrivate() {
  // A copy of the machine's mounts still shares their propagation, which
  // would carry new mounts back out.
  if (::unshare(CLONE_NEWNS) == 0) ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
}

// The skip of a test that root could not mount for names the condition as
// the README does; tools/skipped_tests.py lets it pass only where it finds
// for itself that mounting fails.
inline constexpr const char* kCannotMount = "the machine lacks file systems that root can mount";
