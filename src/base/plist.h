// Reads one string value out of a bundle's XML property list. Enough for
// finding what a bundle runs; not a general property-list reader.
#pragma once

#include <cstddef>
#include <string>

// The <string> that directly follows <key>`key`</key> at the top of the
// text, its entities decoded; false when there is none, or it is not
// closed, or it decodes to text holding a zero byte.
bool plistString(const char* xml, size_t size, const char* key, std::string& value);

// CFBundleExecutable of `bundle`/Contents/Info.plist as the path of the
// program inside the bundle; false when the list cannot be read, is
// unreasonably large, or names anything outside Contents/MacOS.
bool bundleExecutable(const char* bundle, std::string& program);
