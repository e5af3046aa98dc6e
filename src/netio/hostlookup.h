// Host names to IPv4 addresses, within a time limit: a resolver that never
// answers must not hold a caller past its time-out or a raised stop flag.
#pragma once

#include <atomic>

enum class eHostLookup { found, unknown, timedOut, stopped };

// Four dotted decimal numbers up to 255 are taken as they are, and the other
// numeric forms are read without asking anyone; any other name goes to the
// resolver, which is waited for at most `timeoutMs` or until `stop` is
// raised. Safe to call from job threads.
eHostLookup strToIPv4(const char* host, unsigned char (&ip)[4], int timeoutMs,
                       const std::atomic<bool>* stop = nullptr);

// Asks the resolver for a name; true with its first IPv4 address. It may
// block for as long as it likes.
using tIPv4Resolver = bool (*)(const char* name, unsigned char (&ip)[4]);

// Later lookups of names go to `resolver` (tests); null gives them back to
// the system's.
void setIPv4Resolver(tIPv4Resolver resolver);
