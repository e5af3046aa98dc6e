// Shortening a path to a width on screen: the start and the file name stay,
// the middle gives way to "…", so the user still tells where it lies and
// what it is.
#pragma once

#include <functional>
#include <string>

using TextWidth = std::function<int(const std::string&)>;

// The path itself when it is `width` or narrower as `widthOf` measures it;
// otherwise its start, "…" and its last step (with the folder holding it
// when the first folders fit too), the start as long as fits.
// When even "…" and the last step alone do not fit, only the file name is
// shown, its start and its end (the extension whole when it fits) around
// "…".
std::string fitPath(const std::string& path, int width, const TextWidth& widthOf);

// Whether `width` holds the path whole or with at least its first two
// folders and its whole file name: narrower, the reader could no longer
// tell where the file lies.
bool fitsWithStartAndName(const std::string& path, int width, const TextWidth& widthOf);
