// Small helpers shared by the unit tests.
#ifndef PILEOGRAPH_TESTSUPPORT_H
#define PILEOGRAPH_TESTSUPPORT_H

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Sequence.h"

// Whole file as bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The same text with CR LF line ends.
inline std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Swaps std::cout for a string stream while alive.
class CoutCapture {
 public:
  CoutCapture() : mOld(std::cout.rdbuf(mOut.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(mOld); }
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;
  std::string Text() const { return mOut.str(); }

 private:
  std::ostringstream mOut;
  std::streambuf* mOld;
};

inline std::string Chars(const std::vector<char>& v) { return std::string(v.begin(), v.end()); }
inline std::string Chars(const Sequence& s) { return Chars(s.mSeq); }

inline Sequence MakeSequence(const std::string& chars, const std::string& name = "",
                             const std::string& description = "") {
  Sequence s;
  s.mSeq.assign(chars.begin(), chars.end());
  s.mName = name;
  s.mDescription = description;
  return s;
}

#endif
