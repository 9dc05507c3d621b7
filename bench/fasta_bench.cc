// FASTA reading and writing speed and memory.
//
// Usage: fasta_bench [directory [MiB]]
// Generates a FASTA file of at least MiB mebibytes of bases (default 105) in
// the directory (default: a fresh one under /tmp, removed afterwards), in two
// shapes: 60 bases a line, and one unwrapped line per record. For each shape
// a child process times a plain std::istream::getline pass over the file,
// FASTAFile::Read and FASTAFile::Write, and reports its peak resident memory
// against the sequence data it held. Reads are timed on fresh memory (the
// process returns freed memory to the system, so every read page-faults its
// data in) and again with the heap kept, which shows the reader's own cost;
// the time to fill that much fresh memory is printed beside them. The whole
// run is then repeated in a child whose malloc backs the heap with
// transparent huge pages (GLIBC_TUNABLES=glibc.malloc.hugetlb=1), where
// faulting in fresh memory costs a fraction of what 4 KiB pages cost.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "FASTAFile.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

double PeakRssBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;  // Linux reports KiB
}

struct Lcg {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  }
};

// Record lengths: mostly reads and small contigs, some large contigs.
std::vector<size_t> RecordLengths(size_t totalBases) {
  Lcg rng{42};
  std::vector<size_t> lengths;
  size_t sum = 0;
  while (sum < totalBases) {
    const uint32_t kind = rng.Next() % 100;
    size_t len;
    if (kind < 70) {
      len = 1000 + rng.Next() % 49000;
    } else if (kind < 95) {
      len = 50000 + rng.Next() % 450000;
    } else {
      len = 500000 + rng.Next() % 3500000;
    }
    lengths.push_back(len);
    sum += len;
  }
  return lengths;
}

// Writes the file with `width` bases a line (0: one line per record).
size_t Generate(const std::string& path, const std::vector<size_t>& lengths, size_t width) {
  static const char kBases[] = "ACGT";
  Lcg rng{7};
  std::ofstream os(path, std::ios::binary);
  std::string chunk;
  size_t bytes = 0;
  for (size_t r = 0; r < lengths.size(); ++r) {
    chunk = ">contig" + std::to_string(r) + " length=" + std::to_string(lengths[r]) + " generated\n";
    os << chunk;
    bytes += chunk.size();
    chunk.clear();
    for (size_t i = 0; i < lengths[r]; ++i) {
      chunk += kBases[rng.Next() & 3];
      if ((width != 0 && (i + 1) % width == 0) || i + 1 == lengths[r]) chunk += '\n';
      if (chunk.size() >= (1u << 20)) {
        os << chunk;
        bytes += chunk.size();
        chunk.clear();
      }
    }
    os << chunk;
    bytes += chunk.size();
    chunk.clear();
  }
  return bytes;
}

// Best time of `runs` plain getline passes; counts the lines.
double GetlinePass(const std::string& path, size_t longestLine, int runs, size_t& lines) {
  std::vector<char> buf(longestLine + 2);
  double best = 1e30;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    std::ifstream in(path);
    size_t count = 0;
    while (in.getline(buf.data(), static_cast<std::streamsize>(buf.size()))) ++count;
    best = std::min(best, Seconds(start));
    lines = count;
  }
  return best;
}

struct Timing {
  double first = 0, best = 1e30;
  long faults = 0;  // page faults of the last run
  void Add(double t, long runFaults = 0) {
    if (first == 0) first = t;
    best = std::min(best, t);
    faults = runFaults;
  }
};

// Time to allocate and fill fresh memory in pieces of the records' sizes:
// the page-fault cost that any reader holding the data pays once.
double FreshMemoryTime(const std::vector<size_t>& lengths) {
  const auto start = Clock::now();
  std::vector<std::vector<char>> pieces;
  pieces.reserve(lengths.size());
  for (size_t len : lengths) pieces.emplace_back(len, 'A');
  return Seconds(start);
}

void RunShape(const std::string& name, const std::string& path, size_t fileBytes,
              size_t longestLine, const std::vector<size_t>& lengths,
              const std::string& outPath) {
  const double mb = static_cast<double>(fileBytes) / 1e6;
  const double rssStart = PeakRssBytes();
  size_t lines = 0;
  Timing getlineTime;
  for (int run = 0; run < 3; ++run) getlineTime.Add(GetlinePass(path, longestLine, 1, lines));
  double freshTime = 1e30;  // best of 3, like the reads
  for (int run = 0; run < 3; ++run) freshTime = std::min(freshTime, FreshMemoryTime(lengths));

  FASTAFile fasta;
  SequenceVector list;
  long faultsBefore = 0;
  auto timedRead = [&](bool fromPath) {
    list.mSeqs.clear();
    list.mSeqs.shrink_to_fit();
    faultsBefore = MinorFaults();
    const auto start = Clock::now();
    bool ok;
    if (fromPath) {
      ok = fasta.Read(path, list);
    } else {
      std::ifstream in(path);
      ok = fasta.Read(in, list);
    }
    const double t = Seconds(start);
    if (!ok) {
      std::cerr << "read failed\n";
      std::exit(1);
    }
    return t;
  };
  Timing readPath, readStream, readWarm;
  auto faults = [&]() { return MinorFaults() - faultsBefore; };
  for (int run = 0; run < 3; ++run) readPath.Add(timedRead(true), faults());
  for (int run = 0; run < 3; ++run) readStream.Add(timedRead(false), faults());

  size_t bases = 0, capacity = 0;
  for (const Sequence& s : list.mSeqs) {
    bases += s.mSeq.size();
    capacity += s.mSeq.capacity();
  }
  const double held = static_cast<double>(bases);
  const double rssAfterRead = PeakRssBytes();

  // The same reads once freed memory stays with the process for reuse.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  for (int run = 0; run < 4; ++run) readWarm.Add(timedRead(true), faults());

  Timing writeTime;
  for (int run = 0; run < 3; ++run) {
    const auto start = Clock::now();
    fasta.Write(outPath, list);
    writeTime.Add(Seconds(start));
  }
  const double outMb = static_cast<double>(std::filesystem::file_size(outPath)) / 1e6;
  std::filesystem::remove(outPath);

  auto ratio = [&](const Timing& t) { return getlineTime.best / t.best; };
  std::printf("%s: %.1f MB file, %zu lines, %zu records, %zu bases, longest line %zu\n",
              name.c_str(), mb, lines, list.mSeqs.size(), bases, longestLine);
  std::printf("  MB/s of file text            best     first run   page faults\n");
  std::printf("  getline pass              %7.1f   %7.1f\n", mb / getlineTime.best,
              mb / getlineTime.first);
  std::printf("  Read(file name)           %7.1f   %7.1f   %9ld   best %.2f x getline\n",
              mb / readPath.best, mb / readPath.first, readPath.faults, ratio(readPath));
  std::printf("  Read(plain ifstream)      %7.1f   %7.1f   %9ld   best %.2f x getline\n",
              mb / readStream.best, mb / readStream.first, readStream.faults, ratio(readStream));
  std::printf("  Read(file name), heap kept%7.1f   %7.1f   %9ld   best %.2f x getline\n",
              mb / readWarm.best, mb / readWarm.first, readWarm.faults, ratio(readWarm));
  // No reader that holds the data can beat the time of faulting it in.
  std::printf("  filling fresh memory      %7.1f             (%.1f ms for the bases held:"
              " a reader's ceiling on fresh memory is %.2f x getline)\n",
              mb / freshTime, freshTime * 1e3, getlineTime.best / freshTime);
  std::printf("  Write(file name)          %7.1f   %7.1f   (%.1f MB written)\n",
              outMb / writeTime.best, outMb / writeTime.first, outMb);
  std::printf("  peak RSS %.1f MB (%.1f MB at start), sequence data held %.1f MB: ratio %.3f;"
              " mSeq capacity / size %.4f\n",
              rssAfterRead / 1e6, rssStart / 1e6, held / 1e6, rssAfterRead / held,
              static_cast<double>(capacity) / held);
  std::fflush(stdout);
}

constexpr char kHugePagesEnv[] = "PILEOGRAPH_BENCH_HUGE_PAGES";

// Runs this program again on the same directory with malloc's huge-page
// tunable set; its own output follows ours.
bool RunWithHugePages(const std::string& dir, const std::string& mib) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    std::string tunables = "glibc.malloc.hugetlb=1";
    if (const char* old = std::getenv("GLIBC_TUNABLES")) tunables = std::string(old) + ":" + tunables;
    setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
    setenv(kHugePagesEnv, "1", 1);
    execl("/proc/self/exe", "fasta_bench", dir.c_str(), mib.c_str(), static_cast<char*>(nullptr));
    std::perror("exec /proc/self/exe");
    std::_Exit(1);
  }
  int childStatus = 0;
  waitpid(child, &childStatus, 0);
  return WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0;
}

std::string TransparentHugePageMode() {
  std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string mode;
  std::getline(in, mode);
  return mode.empty() ? "unknown" : mode;
}

}  // namespace

int main(int argc, char** argv) {
  const bool hugePages = std::getenv(kHugePagesEnv) != nullptr;
  if (hugePages) {
    std::printf("\n--- again with malloc on transparent huge pages (kernel mode: %s) ---\n",
                TransparentHugePageMode().c_str());
    std::fflush(stdout);  // before the children fork
  }
  std::string dir;
  bool ownDir = false;
  if (argc > 1) {
    dir = argv[1];
  } else {
    char tmpl[] = "/tmp/fasta_bench_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
      std::perror("mkdtemp");
      return 1;
    }
    dir = tmpl;
    ownDir = true;
  }
  const std::string mibText = argc > 2 ? argv[2] : "105";
  const size_t mib = std::strtoul(mibText.c_str(), nullptr, 10);
  const std::vector<size_t> lengths = RecordLengths(mib << 20);
  size_t longest = 0;
  for (size_t len : lengths) longest = std::max(longest, len);

  int status = 0;
  const struct {
    const char* name;
    size_t width;
  } shapes[] = {{"60 bases a line", 60}, {"one line per record", 0}};
  for (const auto& shape : shapes) {
    const std::string path = dir + "/bench_input.fa";
    const size_t bytes = Generate(path, lengths, shape.width);
    const size_t longestLine = shape.width ? std::max<size_t>(shape.width, 64) : longest;
    // A child per shape, so that each reports its own peak memory.
    const pid_t child = fork();
    if (child == 0) {
      RunShape(shape.name, path, bytes, longestLine, lengths, dir + "/bench_output.fa");
      std::_Exit(0);
    }
    int childStatus = 0;
    waitpid(child, &childStatus, 0);
    if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0) status = 1;
    std::filesystem::remove(path);
  }
  if (!hugePages && !RunWithHugePages(dir, mibText)) status = 1;
  if (ownDir) std::filesystem::remove_all(dir);
  return status;
}
