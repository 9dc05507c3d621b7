// Scanning of text held in strings: numbers, white-space tokens, fields,
// keywords; in-place cleaning; line search on a stream.
//
// Positions are 0-based ints, -1 meaning "not found". A cursor is an int
// passed by reference: set just after the item read, or to -1 when nothing
// was found. White space is ' ', '\t' and '\n' only ('\r' is data).
#ifndef PILEOGRAPH_PARSEUTILS_H
#define PILEOGRAPH_PARSEUTILS_H

#include <istream>
#include <ostream>
#include <string>
#include <vector>

// One line per character: index, ':', the character or SPACE/TAB/NEWLINE.
void ShowHidden(const std::string& text, std::ostream& out);

// Pieces between occurrences of `delimiter`; nothing when it does not occur.
void Split(const std::string& text, std::vector<std::string>& pieces, std::string delimiter);
// Field n (1-based) of text split at `delimiter`; returns 1 when it exists.
int CutString(const std::string& text, std::string& field, int n, char delimiter);
int Cut(const std::string& text, std::string& field, int n, char delimiter);

void StripLeadingSpaces(std::string& text);
void StripTrailingSpace(std::string& text);
void StripWhiteSpace(std::string& text);
void ToLowerCase(std::string& text);
void ToUpperCase(std::string& text);

bool StartsWith(const std::string& text, const std::string& prefix);
bool StartsWith(const std::string& text, const char* prefix);
bool Contains(const std::string& text, const std::string& pattern);
bool Contains(const std::string& text, const char* pattern);
bool ContainsOnlyWS(const std::string& text);
// True when positions from..to are digits and a non-digit follows later.
bool ContainsOnlyDigits(const std::string& text, int from, int to);
// A, C, G, T, N, X in either case.
bool IsBase(char character);

// Digit run at or after `from`: 0 and its inclusive bounds, or -1.
int FindNextInteger(const std::string& text, int from, int& begin, int& end);
int FindNextDouble(const std::string& text, int from, int& begin, int& end);

int GetNextInteger(const std::string& text, int start, int& next);
long GetNextLong(const std::string& text, int start, int& next);
double GetNextDouble(const std::string& text, int start, int& next);
int NextInt(const std::string& text, int& cursor);
long NextLong(const std::string& text, int& cursor);
double NextDouble(const std::string& text, int& cursor);
float NextFloat(const std::string& text, int& cursor);
// Append every number of the text; return the vector's new size.
int GetAllIntegers(const std::string& text, std::vector<int>& values);
int GetAllDoubles(const std::string& text, std::vector<double>& values);

// Next white-space-delimited token; the cursor goes just past the blank that
// ends it, or to -1 when the token ends the text (or no token is left).
std::string GetNextWSDelimitedString(const std::string& text, int start, int& next);
std::string SplitNext(const std::string& text, int& cursor);
std::string NextString(const std::string& text, int& cursor);

// Buffer form: writes NULs into `line`; an empty or blank line gives one 0,
// two or more trailing separators add a 0.
void GetIntsFromLine(char* line, std::vector<int>& values);
// String form: exactly one value per token.
void GetIntsFromLine(std::string line, std::vector<int>& values);

// The key whose occurrence at or after `from` starts earliest (begin/end its
// inclusive bounds, -1 when none matched; the result is then 0).
int FindNextOf(const std::vector<std::string>& keys, const std::string& text, int from, int& begin,
               int& end);
bool GetNextKeyword(const std::vector<std::string>& keys, const std::string& text, int from,
                    int& next, std::string& word);
void GetRemainderAfter(const char* marker, const std::string& text, std::string& remainder);

// Reads lines (GetLine) until one contains the pattern (true) or the input
// ends or fails (false).
bool GetNextLineContaining(std::istream& in, const std::string& pattern, std::string& line);
bool GetNextLineContaining(std::istream& in, const char* pattern, std::string& line);
bool GetNextLineContaining(std::istream& in, const char* first, const char* second,
                           std::string& line);
bool GetNextLineContaining(std::istream& in, const std::vector<std::string>& keys,
                           std::string& line, int& which);

#endif
