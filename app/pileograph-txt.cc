// pileograph-txt: lays the reads of a cross_match report out over a contig
// and writes the text pileup.
//
//   pileograph-txt contig-file report-file pileup-file [start end]

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "Heap.h"
#include "Pileograph.h"
#include "PileupFile.h"

namespace {

const char kProgram[] = "pileograph-txt";

void Fail(const char* file, const std::string& reason) {
  std::cerr << kProgram << ": " << file << ": " << reason << std::endl;
}

// One line on standard error when kept hits name other subjects than the
// contig: how many, and the first three such subjects.
void ReportOtherSubjects(const Pileograph& pg, const char* reportPath) {
  const std::vector<CMHit>& hits = pg.mCM.mHits;
  size_t others = 0;
  std::vector<const std::string*> names;  // in the order first met
  std::unordered_set<std::string> seen;
  for (const CMHit& hit : hits) {
    if (hit.mSourceName.empty() || hit.mSourceName == pg.mSource.mName) continue;  // "": a line without it
    ++others;
    if (seen.insert(hit.mSourceName).second) names.push_back(&hit.mSourceName);
  }
  if (others == 0) return;
  const size_t shown = std::min<size_t>(names.size(), 3);
  std::string list = *names[0];
  for (size_t i = 1; i < shown; ++i) {
    list += (i + 1 == names.size() ? " and " : ", ") + *names[i];
  }
  if (names.size() > shown) {
    const size_t rest = names.size() - shown;
    list += " and " + std::to_string(rest) + (rest == 1 ? " more subject" : " more subjects");
  }
  const std::string contig = pg.mSource.mName.empty() ? "the unnamed contig" : pg.mSource.mName;
  Fail(reportPath, std::to_string(others) + " of " + std::to_string(hits.size()) + " hits " +
                       (others == 1 ? "is" : "are") + " against " + list + ", not " + contig);
}

// Reads the contig and the report and merges the alignments, with the
// progress lines on standard output. False when an input cannot be read, or
// memory runs out, said on standard error.
bool LayOut(Pileograph& pg, const char* contigPath, const char* reportPath) {
  const char* reading = contigPath;  // the file a shortage of memory is blamed on
  try {
    std::cout << "Read contig.." << std::flush;
    int error = 0;
    const InputRead contig = pg.ReadSource(contigPath, error);
    std::cout << "done." << std::endl;
    if (contig != InputRead::kRead) {
      Fail(contigPath, InputFailure(contig, error, false));
      return false;
    }

    reading = reportPath;
    std::cout << "Parse CM.." << std::flush;
    const InputRead report = pg.ReadCM(reportPath, error);
    std::cout << "done." << std::endl;
    if (report != InputRead::kRead) {
      Fail(reportPath, InputFailure(report, error, true));
      if (report != InputRead::kNothingFound) return false;  // without hits, the contig alone is laid out
    }
    ReportOtherSubjects(pg, reportPath);

    std::cout << "Merging alignments..." << std::flush;
    pg.MergeAlignments();
    std::cout << "done." << std::endl;
    return true;
  } catch (const std::bad_alloc&) {
    Fail(reading, std::strerror(ENOMEM));
    return false;
  }
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
  if (const char* input = InputAtPileupPath(pileupPath, contigPath, reportPath)) {
    Fail(pileupPath, std::string("is the ") + input + " file, not overwritten");
    return 1;
  }
  // Past a file-size limit, or into a pipe whose reader has gone, a write
  // fails with EFBIG or EPIPE instead of a signal ending the program: the
  // pileup reports it like any other failed write, and progress that nobody
  // reads is dropped.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);

  struct stat reportStat;
  if (stat(reportPath, &reportStat) == 0 && S_ISREG(reportStat.st_mode)) {
    PrepareHeap(2LL * reportStat.st_size + (64LL << 20));
  }

  // Never destroyed: the engine holds some 100,000 blocks, and freeing them
  // one by one at the end costs more than the process's exit, which
  // releases them at once. Kept reachable, so leak checkers stay quiet.
  static Pileograph* const engine = new Pileograph;
  Pileograph& pg = *engine;
  if (!LayOut(pg, contigPath, reportPath)) return 1;

  int start = 0;
  int end = pg.GetSourceSize();
  if (argc == 6) {
    start = std::atoi(argv[4]);
    end = std::atoi(argv[5]);
  }
  // Opened only now, so that an input that cannot be read leaves a file
  // already at the pileup path as it was; checked again on the file opened.
  std::string failure;
  if (!WritePileup(pg, pileupPath, contigPath, start, end, failure)) {
    Fail(pileupPath, failure);
    return 1;
  }
  return 0;
}
