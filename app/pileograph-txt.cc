// pileograph-txt: lays the reads of a cross_match report out over a contig
// and writes the text pileup.
//
//   pileograph-txt contig-file report-file pileup-file [start end]

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "Heap.h"
#include "Pileograph.h"

namespace {

const char kProgram[] = "pileograph-txt";

void Fail(const char* file, const std::string& reason) {
  std::cerr << kProgram << ": " << file << ": " << reason << std::endl;
}

std::string SystemReason(int err, const char* fallback) {
  return err != 0 ? std::string(std::strerror(err)) : std::string(fallback);
}

// The regular file that the pileup path names once opened, through any
// symbolic links; a pileup that fails is removed from there and nowhere else.
struct OpenedFile {
  bool mRegular = false;
  dev_t mDevice = 0;
  ino_t mInode = 0;
};

OpenedFile Identify(const char* path) {
  OpenedFile file;
  struct stat st;
  if (stat(path, &st) == 0 && S_ISREG(st.st_mode)) {
    file.mRegular = true;
    file.mDevice = st.st_dev;
    file.mInode = st.st_ino;
  }
  return file;
}

// Removes the partial pileup: the file the links lead to, while it is still
// the one written, and never a link, device or pipe.
void RemovePartial(const char* path, const OpenedFile& written) {
  if (!written.mRegular) return;
  char* target = realpath(path, nullptr);
  if (target == nullptr) return;
  struct stat st;
  if (lstat(target, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == written.mDevice &&
      st.st_ino == written.mInode) {
    unlink(target);
  }
  std::free(target);
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
  // Past a file-size limit a write fails with EFBIG and is reported like any
  // other failed write, instead of the signal ending the program.
  std::signal(SIGXFSZ, SIG_IGN);

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
  int error = 0;
  const bool haveContig = pg.ReadSource(contigPath, error);
  std::cout << "done." << std::endl;
  if (error != 0) {
    Fail(contigPath, std::strerror(error));
    return 1;
  }
  if (!haveContig) {
    Fail(contigPath, "no FASTA record");
    return 1;
  }

  std::cout << "Parse CM.." << std::flush;
  pg.ReadCM(reportPath, error);
  std::cout << "done." << std::endl;
  if (error != 0) {
    Fail(reportPath, std::strerror(error));
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
  const OpenedFile written = Identify(pileupPath);
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
    RemovePartial(pileupPath, written);
    Fail(pileupPath, std::strerror(writeErr));
    return 1;
  }
  return 0;
}
