// The baseline pass over a text file: std::istream::getline into one
// 300,000-byte buffer, each line copied into a std::string and scanned once
// for white-space separated tokens.
#ifndef PILEOGRAPH_BENCH_LINEPASS_H
#define PILEOGRAPH_BENCH_LINEPASS_H

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct LinePassResult {
  bool mOpened = false;
  double mSeconds = 0;
  uint64_t mBytes = 0;     // characters read, line feeds included
  uint64_t mLines = 0;
  uint64_t mTokens = 0;
  uint64_t mChecksum = 0;  // keeps the scan from being optimised away
};

// Not inlined, so that every program that uses it runs the same code.
__attribute__((noinline)) inline LinePassResult RunLinePass(const std::string& path) {
  LinePassResult r;
  auto t0 = std::chrono::steady_clock::now();
  std::ifstream in(path);
  r.mOpened = static_cast<bool>(in);
  std::vector<char> buf(300000);
  std::string line;
  while (in.getline(buf.data(), static_cast<std::streamsize>(buf.size()))) {
    r.mBytes += static_cast<uint64_t>(in.gcount());
    ++r.mLines;
    line = buf.data();
    // A token begins at a non-blank after a blank or at the line start;
    // each test looks at two neighbouring characters only, so the loop has
    // no branch and no carried state.
    const unsigned char* p = reinterpret_cast<const unsigned char*>(line.data());
    const size_t n = line.size();
    uint32_t tokens = 0, checksum = 0;  // a line has under 300,000 characters
    if (n > 0) {
      uint32_t first = (p[0] != ' ') & (p[0] != '\t') & (p[0] != '\n');
      tokens = first;
      checksum = first * p[0];
    }
    for (size_t i = 1; i < n; ++i) {
      uint32_t prevBlank = (p[i - 1] == ' ') | (p[i - 1] == '\t') | (p[i - 1] == '\n');
      uint32_t blank = (p[i] == ' ') | (p[i] == '\t') | (p[i] == '\n');
      uint32_t starts = prevBlank & (blank ^ 1u);
      tokens += starts;
      checksum += starts * p[i];
    }
    r.mTokens += tokens;
    r.mChecksum += checksum;
  }
  r.mSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return r;
}

#endif
