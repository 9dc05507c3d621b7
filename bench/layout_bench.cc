// Times the layout stages on a contig and a cross_match report (as written
// by gen_cm) and the baseline line pass over the same report, in one run.
//
// Usage: layout_bench DIR [START [REPEATS]]
//   DIR holds contig.fa and report.cm; START is the union column of the one
//   pileup block printed (default 500000); the line pass runs REPEATS times
//   (default 3) and its best time is used.
// MB means 10^6 bytes throughout. Output files (bench-usrctest.fa, bench-window.txt) are written into DIR.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FASTAFile.h"
#include "Pileograph.h"
#include "linepass.h"

namespace {

double PeakRssMB() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss * 1024.0 / 1e6;  // ru_maxrss is in kilobytes on Linux
}

double CurrentRssMB() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(f);
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

double FileMB(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_size / 1e6;
}

class Stages {
 public:
  explicit Stages(double reportMB) : mReportMB(reportMB) {
    std::printf("%-28s %8s %9s %7s %7s %8s %8s %8s\n", "stage", "seconds", "MB/s", "user", "sys",
                "faults", "RSS MB", "peak MB");
  }
  void Start() {
    getrusage(RUSAGE_SELF, &mRu0);
    mT0 = std::chrono::steady_clock::now();
  }
  // Ends the stage; throughput is measured against `mb` megabytes of input.
  void Stop(const char* name, double mb) {
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - mT0).count();
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    mTotal += s;
    std::printf("%-28s %8.3f %9.1f %7.3f %7.3f %8ld %8.1f %8.1f\n", name, s, s > 0 ? mb / s : 0.0,
                Seconds(ru.ru_utime) - Seconds(mRu0.ru_utime), Seconds(ru.ru_stime) - Seconds(mRu0.ru_stime),
                ru.ru_minflt - mRu0.ru_minflt, CurrentRssMB(), PeakRssMB());
    std::fflush(stdout);
  }
  double Total() const { return mTotal; }
  double ReportMB() const { return mReportMB; }

 private:
  static double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }
  std::chrono::steady_clock::time_point mT0;
  struct rusage mRu0 {};
  double mTotal = 0;
  double mReportMB;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: layout_bench DIR [START [REPEATS]]\n");
    return 2;
  }
  std::string dir = argv[1];
  int start = argc > 2 ? std::atoi(argv[2]) : 500000;
  int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
  if (repeats < 1) repeats = 1;
  std::string contigPath = dir + "/contig.fa", reportPath = dir + "/report.cm";
  double contigMB = FileMB(contigPath), reportMB = FileMB(reportPath);
  if (reportMB <= 0 || contigMB <= 0) {
    std::fprintf(stderr, "layout_bench: %s or %s is missing or empty\n", contigPath.c_str(),
                 reportPath.c_str());
    return 1;
  }

  // Baseline first (it also brings the report into the page cache).
  LinePassResult lp;
  for (int i = 0; i < repeats; ++i) {
    LinePassResult r = RunLinePass(reportPath);
    if (i == 0 || r.mSeconds < lp.mSeconds) lp = r;
  }
  std::printf("report %.1f MB, contig %.1f MB\n", reportMB, contigMB);
  std::printf("line pass (best of %d): %.3f s, %.1f MB/s, %llu lines\n\n", repeats, lp.mSeconds,
              lp.mSeconds > 0 ? reportMB / lp.mSeconds : 0.0,
              static_cast<unsigned long long>(lp.mLines));

  double rssBefore = CurrentRssMB();
  Pileograph engine;
  Stages st(reportMB);

  st.Start();
  engine.ReadSource(contigPath);
  st.Stop("read contig", contigMB);

  st.Start();
  engine.mCM.Parse(reportPath);
  st.Stop("parse", reportMB);
  size_t parsed = engine.mCM.mHits.size();

  st.Start();
  engine.mCM.NormalizeToAlignment();
  engine.mCM.RemoveAllButBestMatches();
  st.Stop("normalise + filter", reportMB);

  st.Start();
  engine.ConstructSourceWithUnionOfReadPads();
  st.Stop("union contig", reportMB);

  st.Start();
  {
    FASTAFile fa;
    fa.Write(dir + "/bench-usrctest.fa", engine.mUnionSource);
  }
  st.Stop("write union contig FASTA", contigMB);

  st.Start();
  engine.InitWithQueries();
  st.Stop("re-pad: init with queries", reportMB);

  st.Start();
  engine.MergeReadPads();
  st.Stop("re-pad: merge read pads", reportMB);

  st.Start();
  {
    std::ofstream out(dir + "/bench-window.txt");
    engine.PrintAlignment(out, start, start, 100);
  }
  st.Stop("print one block", reportMB);

  double peak = PeakRssMB();
  std::printf("\nhits parsed %zu, kept %zu; contig %zu bases, union contig %zu columns\n", parsed,
              engine.mCM.mHits.size(), engine.mSource.mSeq.size(), engine.mUnionSource.mSeq.size());
  std::printf("engine total %.3f s (%.1f MB/s of report); line pass %.3f s; ratio %.2f\n", st.Total(),
              reportMB / st.Total(), lp.mSeconds, lp.mSeconds > 0 ? st.Total() / lp.mSeconds : 0.0);
  std::printf("peak RSS %.1f MB (%.1f MB before the engine) = %.2f x report size\n", peak, rssBefore,
              peak / reportMB);
  return 0;
}
