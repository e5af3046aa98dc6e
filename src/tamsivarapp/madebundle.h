// What an installer bundle that make writes holds, and nothing else: how
// make tells its own folder from one the user has put files in, and takes
// away only what it wrote there.
#pragma once

#include <string>

// The first entry of the folder `bundle`, depth first in name order, that
// make does not write: a name its bundles do not hold, or one of their names
// standing for something else than make puts there (a link, a folder where
// make writes a file); a folder that cannot be read counts as one too. Its
// path relative to `bundle`; empty when the folder holds only entries of a
// bundle, or nothing.
std::string firstForeignEntry(const std::string& bundle);

// Removes the files and folders make writes in a bundle, then the folder
// `bundle` itself, following no link: anything else stays, and so do the
// folders that hold it. False when a removal failed for a reason other than
// the entry being gone already or a folder holding something else.
bool removeMadeBundle(const std::string& bundle);
