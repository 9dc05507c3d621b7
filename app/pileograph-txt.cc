// pileograph-txt: lays the reads of a cross_match report out over a contig
// and writes the text pileup.
//
//   pileograph-txt contig-file report-file pileup-file [start end]

#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "FASTAFile.h"
#include "Pileograph.h"

namespace {

const char kProgram[] = "pileograph-txt";

void Fail(const char* file, const std::string& reason) {
  std::cerr << kProgram << ": " << file << ": " << reason << std::endl;
}

std::string SystemReason(int err, const char* fallback) {
  return err != 0 ? std::string(std::strerror(err)) : std::string(fallback);
}

// Errno of opening `path` for reading, 0 when it opens (a directory does not).
// A pipe or device is only checked for permission: opening and closing a
// named pipe here could drop what its writer has sent, or leave the real
// open waiting for a writer that is gone.
int OpenError(const char* path) {
  struct stat st;
  errno = 0;
  if (stat(path, &st) != 0) return errno != 0 ? errno : EIO;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return access(path, R_OK) == 0 ? 0 : (errno != 0 ? errno : EACCES);
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return errno != 0 ? errno : EIO;
  std::fclose(f);
  return 0;
}

// Removes a pileup file that could not be written whole; only regular files.
void RemovePartial(const char* path) {
  struct stat st;
  if (stat(path, &st) == 0 && S_ISREG(st.st_mode)) std::remove(path);
}

// Lets the heap hold the run's data on transparent huge pages, which cuts
// the page faults of filling it up to 512-fold. The heap grows once by
// `bytes` (address space only), that stretch is advised for huge pages, and
// it stays the heap's: blocks up to 32 MB come from it and nothing is trimmed.
// Where huge pages are off, or the heap cannot grow, only the malloc settings
// change.
void PrepareHeap(long long bytes) {
  constexpr long long kMaxMmapThreshold = 32LL << 20;
  if (bytes <= 0 || bytes > (1LL << 40)) return;
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMaxMmapThreshold));
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  if (bytes > INT_MAX) bytes = INT_MAX;
  char* before = static_cast<char*>(sbrk(0));
  mallopt(M_TOP_PAD, static_cast<int>(bytes));
  void* volatile probe = std::malloc(1 << 20);  // more than the heap has spare
  mallopt(M_TOP_PAD, 128 * 1024);
  char* after = static_cast<char*>(sbrk(0));
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t from = (reinterpret_cast<uintptr_t>(before) + page - 1) & ~(page - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(after) & ~(page - 1);
  const bool grew = before != reinterpret_cast<char*>(-1) && after != reinterpret_cast<char*>(-1) &&
                    after - before >= bytes;
  if (grew && to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
  std::free(probe);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: " << kProgram << " contig-file report-file pileup-file [start end]"
              << std::endl;
    return 2;
  }
  const char* contigPath = argv[1];
  const char* reportPath = argv[2];
  const char* pileupPath = argv[3];

  struct stat reportStat;
  if (stat(reportPath, &reportStat) == 0 && S_ISREG(reportStat.st_mode)) {
    PrepareHeap(2LL * reportStat.st_size + (64LL << 20));
  }

  // Never destroyed: the engine holds some 100,000 blocks, and freeing them
  // one by one at the end costs more than the process's exit, which
  // releases them at once. Kept reachable, so leak checkers stay quiet.
  static Pileograph* const engine = new Pileograph;
  Pileograph& pg = *engine;

  std::cout << "Read contig.." << std::flush;
  const int contigErr = OpenError(contigPath);
  // What ReadSource does, keeping the reader's answer whether a record was read.
  const bool haveContig = contigErr == 0 && FASTAFile().Read(std::string(contigPath), pg.mSource);
  std::cout << "done." << std::endl;
  if (contigErr != 0) {
    Fail(contigPath, std::strerror(contigErr));
    return 1;
  }
  if (!haveContig) {
    Fail(contigPath, "no FASTA record");
    return 1;
  }

  std::cout << "Parse CM.." << std::flush;
  const int reportErr = OpenError(reportPath);
  if (reportErr == 0) pg.ReadCM(reportPath);
  std::cout << "done." << std::endl;
  if (reportErr != 0) {
    Fail(reportPath, std::strerror(reportErr));
    return 1;
  }

  std::cout << "Merging alignments..." << std::flush;
  pg.MergeAlignments();
  std::cout << "done." << std::endl;

  int start = 0;
  int end = pg.GetSourceSize();
  if (argc == 6) {
    start = std::atoi(argv[4]);
    end = std::atoi(argv[5]);
  }

  errno = 0;
  std::ofstream out(pileupPath, std::ios::out | std::ios::trunc);
  if (!out.is_open()) {
    Fail(pileupPath, SystemReason(errno, "cannot be created"));
    return 1;
  }
  errno = 0;
  pg.PrintAlignment(out, start, end, 100);
  int writeErr = out.good() ? 0 : (errno != 0 ? errno : EIO);
  if (writeErr == 0) {
    errno = 0;
    out.close();
    if (out.fail()) writeErr = errno != 0 ? errno : EIO;
  }
  if (writeErr != 0) {
    if (out.is_open()) out.close();
    RemovePartial(pileupPath);
    Fail(pileupPath, std::strerror(writeErr));
    return 1;
  }
  return 0;
}
