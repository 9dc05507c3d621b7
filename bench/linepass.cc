// Times the baseline line pass over a file and prints its throughput.
// Usage: linepass FILE [REPEATS]   (the best of REPEATS runs is printed)
#include <cstdio>
#include <cstdlib>

#include "linepass.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: linepass FILE [REPEATS]\n");
    return 2;
  }
  int repeats = argc > 2 ? std::atoi(argv[2]) : 1;
  if (repeats < 1) repeats = 1;
  LinePassResult best;
  for (int i = 0; i < repeats; ++i) {
    LinePassResult r = RunLinePass(argv[1]);
    if (!r.mOpened) {
      std::fprintf(stderr, "linepass: cannot open %s\n", argv[1]);
      return 1;
    }
    if (i == 0 || r.mSeconds < best.mSeconds) best = r;
  }
  std::printf("linepass: %llu bytes, %llu lines, %llu tokens (checksum %llu): %.3f s, %.1f MB/s\n",
              static_cast<unsigned long long>(best.mBytes), static_cast<unsigned long long>(best.mLines),
              static_cast<unsigned long long>(best.mTokens),
              static_cast<unsigned long long>(best.mChecksum), best.mSeconds,
              best.mSeconds > 0 ? best.mBytes / 1e6 / best.mSeconds : 0.0);
  return 0;
}
