// The mode functions that run dispatches to. Those whose windows are still
// to come say so on standard error and end with 1.
#pragma once

#include <functional>

int run_tamsivar();
int install(const char* program, const char* package, unsigned int offset);
// `afterWait` runs when the uninstall waited for another run of the package
// and now holds it, before it asks anything.
int uninstall(const char* packageId, void* parent, std::function<void()> afterWait = {});
int check_updates(const char* packageId, bool quiet);
// Not "remove": that name belongs to the C library, which the program also uses.
int removeManager(const char* program);
