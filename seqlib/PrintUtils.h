// Fixed-width field writers and the date stamp.
#ifndef PILEOGRAPH_PRINTUTILS_H
#define PILEOGRAPH_PRINTUTILS_H

#include <ostream>
#include <string>

// Current local date as "YYYYMMDD".
std::string GetDateStamp();

// `value` ("%d") right-aligned in a field of `width`; never cut, no newline.
void PrintSpacePaddedNum(std::ostream& out, int width, int value);
// `value` ("%3.3f") right-aligned in a field of `width`; never cut.
void PrintSpacePaddedFloat(std::ostream& out, int width, float value);
// `text` left-aligned in a field of `width`, padded with blanks; never cut.
void PrintSpacePaddedString(std::ostream& out, int width, std::string text);

#endif
