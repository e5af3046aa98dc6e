// The picture lists a class shares among all its elements hold copies of
// the theme's pictures: a reference would dangle once the theme is replaced,
// while the lists live as long as the process.
#pragma once

#include <initializer_list>

#include "ciom/pictureslist.h"

// Index `index` of the list becomes a copy of the theme's picture `n`.
void copyThemePicture(cPicturesList& list, int index, int n);

// Fills the list from the theme's pictures of the given numbers, in order
// from index 0, unless index 0 is already set.
void fillSharedPictures(cPicturesList& list, std::initializer_list<int> themePictures);
