// Passing over bytes of a stream by reading them: the decoders know where
// they are only relative to where they began, and a skip past the end fails
// as a short read does.
#pragma once

#include "base/targets.h"

bool skipBytes(cFileIOTarget* io, unsigned long long count);
