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

inline LinePassResult RunLinePass(const std::string& path) {
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
    bool inToken = false;
    for (char c : line) {
      bool blank = c == ' ' || c == '\t' || c == '\n';
      if (!blank && !inToken) {
        ++r.mTokens;
        r.mChecksum += static_cast<unsigned char>(c);
      }
      inToken = !blank;
    }
  }
  r.mSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return r;
}

#endif
