// Shortening a path to a width on screen: the start and the file name stay,
// the middle gives way to "…", so the user still tells where it lies and
// what it is.
#pragma once

#include <functional>
#include <string>

// The path itself when it is `width` or narrower as `widthOf` measures it;
// otherwise its start, "…" and its last step, the start as long as fits,
// and the last step cut from the left when even "…" and it alone do not.
std::string fitPath(const std::string& path, int width, const std::function<int(const std::string&)>& widthOf);
