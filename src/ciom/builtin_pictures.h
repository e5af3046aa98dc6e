// Pictures compiled into the program as compressed picture resources and
// unpacked once, at start-up, into the plain pixel arrays that the tables of
// the themes and flags point at (rows kept bottom-up, as the resources hold them).
#pragma once

struct sBuiltinPicture {
  const unsigned char* resource;
  unsigned int size;
  unsigned int* pixels;
  long long count;  // pixels the array holds
};

// False when a resource's size disagrees with its array; such an array stays zero.
bool unpackBuiltinPictures(const sBuiltinPicture* list, int n);
