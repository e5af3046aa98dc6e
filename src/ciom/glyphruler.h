// Where each unit of a single line of text ends, kept up to date edit by
// edit. A long line is measured in pieces of a few hundred units: an edit
// makes only its piece measured again, and painting can draw just the pieces
// in view. Text layout engines lose precision far out on a line (the
// extents of a line overflow near two million pixels), so a line is never
// handed to them whole once it is long; a short text is one piece and
// measures exactly as the whole text would.
#pragma once

#include <vector>

class cCanvas;

class cGlyphRuler {
 public:
  static constexpr int kPiece = 256;

  struct sPiece {
    long long start;  // first unit
    int length;       // units
    int x;            // left edge in pixels, from the line's start
  };

  // The text changed: `removed` units at `at` were replaced by `inserted`.
  void replaced(long long at, long long removed, long long inserted);
  // The whole text is new (or the font changed).
  void reset(long long length);
  // Measures what changed, with the canvas's current font.
  bool update(cCanvas* c, const unsigned short* text, long long length);

  long long length() const { return static_cast<long long>(myEnds.size()); }
  // Right edge of unit i: the width of units 0..i.
  int end(long long i) const;
  // Width of the first n units.
  int widthOf(long long n) const { return n > 0 ? end(n - 1) : 0; }
  // The first unit whose right edge lies beyond x; the length when none.
  long long firstEndingAfter(int x) const;
  // The pieces meeting [left, right) in line pixels.
  void piecesMeeting(int left, int right, std::vector<sPiece>& out) const;

 private:
  struct sStored {
    int length;
    int width;
    bool dirty;
  };
  void place();
  // Keeps a surrogate pair, and a word where one is near, inside one piece.
  static int cut(const unsigned short* text, int length);

  std::vector<int> myEnds;  // within the unit's piece
  std::vector<sStored> myPieces;
  std::vector<long long> myStarts;  // per piece, after place()
  std::vector<int> myX;             // per piece, after place()
  bool myPlaced = false;
};
