// Line reading through one shared buffer, and number <-> text conversions in
// the manner of the C library.
#ifndef PILEOGRAPH_CLIBRARYADDITIONS_H
#define PILEOGRAPH_CLIBRARYADDITIONS_H

#include <cstddef>
#include <cstdlib>
#include <istream>
#include <string>

// Size of the one line buffer that every GetLine call reads through; a line
// fits when it has fewer than this many characters.
constexpr int kReadBufSize = 300000;
extern char readbuf[kReadBufSize];

// Reads one line of `in` into `line` (the '\n' is consumed, not stored; a '\r'
// just before it, or at the very end of the input, is dropped too). Returns
// false when the read failed: end of input, or a line of kReadBufSize
// characters or more (its first kReadBufSize - 1 characters are returned and
// the stream is left failed). Not reentrant.
bool GetLine(std::istream& in, std::string& line);
// GetLine without the copy: the line is left in readbuf, its length in `length`.
bool GetLineInBuffer(std::istream& in, std::size_t& length);

std::string itoa(int value);                            // "%d"
std::string itostring(int value);                       // "%d"
std::string ftoa(float value);                          // "%f"
std::string ftostring(float value);                     // "%f"
std::string ftoa(float value, std::string format);      // caller's format, one double
int atoi(const std::string& text);                      // C library atoi of the characters

// strtol of the characters [first, last) in base 10: leading white space, an
// optional sign, then digits; saturates at the long range instead of
// overflowing. atoi-style results are this value narrowed to int.
long ParseCLong(const char* first, const char* last);

// Formats into a buffer of `size` bytes and replaces `out` by the result.
// The text is cut to size - 1 characters rather than overflowing.
void sprintf(int size, std::string& out, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#endif
