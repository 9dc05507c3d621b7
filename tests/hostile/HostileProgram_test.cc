// pileograph-txt on hostile input files: every run ends in time with the exit
// status and messages the program defines, its peak memory stays within a
// small multiple of what it reads and writes, and the pileup has its layout.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/mount.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "HostileSupport.h"
#include "TestSupport.h"

namespace {

using hostile::ChildResult;
using hostile::ScratchDir;

const std::string kData = TEST_DATA_DIR;
const std::string kConsole =
    "Read contig..done.\n"
    "Parse CM..done.\n"
    "Merging alignments...ConstructSource...Init With Queries ...MergePads...done.\n";

std::string Data(const std::string& name) { return hostile::ReadFile(kData + "/" + name); }

// Peak memory allowed for a run that reads `in` bytes and writes `out`.
long long MemoryBoundKb(long long in, long long out) {
  const long long base = 64LL << 10;
  const long long bound = base + 6 * (in + out) / 1024;
  return hostile::kSanitized ? 2 * bound + (384LL << 10) : bound;
}

double TimeLimit(double seconds) { return hostile::kSanitized ? 6 * seconds : seconds; }

// Runs the program in `dir` on contig.fa and report.cm there, writing
// pileup.txt, with `extra` arguments after the three files.
ChildResult RunProgram(const ScratchDir& dir, const std::vector<std::string>& extra = {},
                       double seconds = 20) {
  std::vector<std::string> args = {PILEOGRAPH_TXT, "contig.fa", "report.cm", "pileup.txt"};
  args.insert(args.end(), extra.begin(), extra.end());
  return hostile::RunChild(args, dir.Path(), TimeLimit(seconds));
}

// No crash, no time-out, the expected status, memory within bounds.
void ExpectSound(const ScratchDir& dir, const ChildResult& r, int status, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_FALSE(r.mTimedOut) << "took over " << r.mSeconds << " s";
  ASSERT_TRUE(r.mExited) << "killed by signal " << r.mSignal << "\n" << r.mStderr;
  EXPECT_EQ(r.mStatus, status) << r.mStderr;
  const long long in = hostile::FileSize(dir / "contig.fa") + hostile::FileSize(dir / "report.cm");
  const long long out = hostile::FileSize(dir / "pileup.txt");
  EXPECT_LE(r.mPeakRssKb, MemoryBoundKb(in, out))
      << "input " << in << " B, pileup " << out << " B";
  if (std::getenv("HOSTILE_VERBOSE") != nullptr) {
    std::printf("%-32s %6.2f s  peak %7ld kB  bound %7lld kB  in %9lld B  out %9lld B\n", what.c_str(),
                r.mSeconds, r.mPeakRssKb, MemoryBoundKb(in, out), in, out);
  }
}

// One source or read line of a pileup block.
std::string PileupLine(const std::string& name, const std::string& number, const std::string& chars) {
  std::string line = name;
  if (line.size() < 20) line.append(20 - line.size(), ' ');
  if (number.size() < 10) line.append(10 - number.size(), ' ');
  return line + number + "  " + chars + "\n";
}

std::string Dots(size_t n) { return std::string(n, '.'); }

// The names in `dir` that begin with a dot: a new file left behind.
std::string Hidden(const std::string& dir) {
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name[0] == '.') names += name + " ";
  }
  return names;
}

// Small hand-made files whose whole pileup is known.
TEST(HostileProgram, SmallFilesGiveTheirExactLayout) {
  struct Case {
    const char* mContig;
    const char* mReport;
    std::vector<std::string> mWindow;
    const char* mPileup;
    const char* mStderr;
  };
  const Case cases[] = {
      {"contig.fa", "report.cm", {}, "basic.pileup", ""},
      {"contig.fa", "report.cm", {"2", "2"}, "basic-window.pileup", ""},
      {"contig.fa", "report.cm", {"abc", "12x"}, "basic.pileup", ""},
      {"contig.fa", "report.cm", {"2147483647", "2147483647"}, "start-int-max.pileup", ""},
      {"contig.fa", "report.cm", {"-2147483648", "2147483647"}, "start-int-min.pileup", ""},
      {"contig.fa", "cut-block.cm", {"2", "2"}, "cut-block.pileup", ""},
      {"contig.fa", "cut-line.cm", {"2", "2"}, "cut-line.pileup", ""},
      {"contig.fa", "missing-fields.cm", {}, "missing-fields.pileup", ""},
      {"contig.fa", "empty-match.cm", {}, "empty-match.pileup", ""},
      {"contig.fa", "lead-pads.cm", {"3", "3"}, "lead-pads.pileup",
       "??? i = 0 padIdx=0 padLocs[padIdx]=-1\n"},
      {"contig.fa", "star.cm", {"1", "1"}, "star.pileup", ""},
      {"pad-contig.fa", "report.cm", {"2", "2"}, "pad-contig.pileup", ""},
      {"contig.fa", "numbers.cm", {}, "numbers.pileup", "??? i = 0 padIdx=0 padLocs[padIdx]=-5\n"},
      {"contig.fa", "int-min.cm", {}, "int-min.pileup", "??? i = 0 padIdx=0 padLocs[padIdx]=-2147483647\n"},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.mReport) + " on " + c.mContig + " -> " + c.mPileup;
    ScratchDir dir;
    hostile::WriteFile(dir / "contig.fa", Data(c.mContig));
    hostile::WriteFile(dir / "report.cm", Data(c.mReport));
    const ChildResult r = RunProgram(dir, c.mWindow, 10);
    ExpectSound(dir, r, 0, what);
    EXPECT_EQ(r.mStdout, kConsole) << what;
    EXPECT_EQ(r.mStderr, c.mStderr) << what;
    EXPECT_EQ(hostile::ReadFile(dir / "pileup.txt"), Data(c.mPileup)) << what;
  }
}

// Empty files, NUL bytes, binary garbage and CR LF line ends.
TEST(HostileProgram, DegenerateFilesEndCleanly) {
  const std::string contig = Data("contig.fa");
  const std::string report = Data("report.cm");
  const std::string nuls(65536, '\0');
  const std::string garbage = hostile::Garbage(1 << 20, 7);
  const std::string noRecord = "pileograph-txt: contig.fa: no FASTA record\n";
  const std::string noHits = "pileograph-txt: report.cm: no alignments found, the pileup shows the contig alone\n";
  struct Case {
    const char* mWhat;
    std::string mContig;
    std::string mReport;
    int mStatus;
    const char* mStderr;  // nullptr: not compared
    const char* mPileup;  // nullptr: not compared; "": no pileup file
  };
  const Case cases[] = {
      {"empty contig", "", report, 1, noRecord.c_str(), ""},
      {"empty report", contig, "", 0, noHits.c_str(), "contig-alone.pileup"},
      {"both empty", "", "", 1, noRecord.c_str(), ""},
      {"NUL contig", nuls, report, 1, noRecord.c_str(), ""},
      {"NUL report", contig, nuls, 0, noHits.c_str(), "contig-alone.pileup"},
      {"NUL line after the header", ">contig\n" + nuls + "\nACGT\n", "", 0, noHits.c_str(), nullptr},
      {"garbage report", contig, garbage, 0, nullptr, nullptr},
      {"garbage contig", garbage, report, 0, nullptr, nullptr},
      {"CR LF everywhere", Crlf(contig), Crlf(report), 0, "", "basic.pileup"},
      {"CR LF contig only", Crlf(contig), report, 0, "", "basic.pileup"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    hostile::WriteFile(dir / "contig.fa", c.mContig);
    hostile::WriteFile(dir / "report.cm", c.mReport);
    const ChildResult r = RunProgram(dir);
    ExpectSound(dir, r, c.mStatus, c.mWhat);
    if (c.mStatus == 0) {
      EXPECT_EQ(r.mStdout, kConsole) << c.mWhat;
    } else {
      EXPECT_EQ(r.mStdout, "Read contig..done.\n") << c.mWhat;
    }
    if (c.mStderr != nullptr) {
      EXPECT_EQ(r.mStderr, c.mStderr) << c.mWhat;
    }
    if (c.mPileup == nullptr) continue;
    if (*c.mPileup == '\0') {
      EXPECT_FALSE(hostile::Exists(dir / "pileup.txt")) << c.mWhat;
    } else {
      EXPECT_EQ(hostile::ReadFile(dir / "pileup.txt"), Data(c.mPileup)) << c.mWhat;
    }
  }
}

// Report lines longer than the shared line buffer are read whole: a junk
// line is skipped, and the pileup is the one without it.
TEST(HostileProgram, LongReportLinesAreReadWhole) {
  const std::string report = Data("report.cm");
  const size_t second = report.find("   35  0.00 0.00 14.29  read0");
  ASSERT_NE(second, std::string::npos);
  const std::string longLine = "   Note " + std::string(400000, 'x') + "\n";
  struct Case {
    const char* mWhat;
    std::string mReport;
    const char* mPileup;
  };
  const Case cases[] = {
      {"first line", longLine + report, "basic.pileup"},
      {"between hits", report.substr(0, second) + longLine + report.substr(second), "basic.pileup"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    hostile::WriteFile(dir / "contig.fa", Data("contig.fa"));
    hostile::WriteFile(dir / "report.cm", c.mReport);
    const ChildResult r = RunProgram(dir);
    ExpectSound(dir, r, 0, c.mWhat);
    EXPECT_EQ(r.mStdout, kConsole) << c.mWhat;
    EXPECT_EQ(r.mStderr, "") << c.mWhat;
    EXPECT_EQ(hostile::ReadFile(dir / "pileup.txt"), Data(c.mPileup)) << c.mWhat;
  }

  // An overlong aligned text, the last line of the report.
  ScratchDir dir;
  hostile::WriteFile(dir / "contig.fa", Data("contig.fa"));
  const size_t text = report.find("ACGTACGTACG 11\n\nTransitions");
  ASSERT_NE(text, std::string::npos);
  hostile::WriteFile(dir / "report.cm", report.substr(0, text) + std::string(400000, 'A') + "\n");
  const ChildResult r = RunProgram(dir);
  ExpectSound(dir, r, 0, "overlong contig side");
  EXPECT_EQ(r.mStdout, kConsole);
  EXPECT_EQ(hostile::ReadFile(dir / "pileup.txt"),
            PileupLine("UnionSource", "0", "ACGTACGTACG%" + Dots(88)) +
                PileupLine("readA", "0", "ACGTACGTACG" + Dots(89)) + "\n");
}

// A contig of several megabytes on one line: read whole, printed whole.
TEST(HostileProgram, MegabyteContigLine) {
  const size_t length = 5000000;
  std::string bases = hostile::Garbage(length, 11);
  for (char& c : bases) c = "ACGT"[static_cast<unsigned char>(c) & 3];
  // readZ: contig bases length-99 .. length-80 with two inserted bases after
  // the tenth, so the union contig is two columns longer.
  const size_t first = length - 100;  // 0-based
  const std::string contigSide = bases.substr(first, 10) + "--" + bases.substr(first + 10, 10);
  const std::string readSide = bases.substr(first, 10) + "TT" + bases.substr(first + 10, 10);
  const std::string report =
      "   40  0.00 0.00 10.00  readZ        1    22 (0)    contig " + std::to_string(first + 1) + " " +
      std::to_string(first + 20) + " (80)\n\n  readZ 1 " + readSide + " 22\n\n  contig " +
      std::to_string(first + 1) + " " + contigSide + " " + std::to_string(first + 20) +
      "\n\nTransitions / transversions = 1.00 (0/0)\n";

  ScratchDir dir;
  hostile::WriteFile(dir / "contig.fa", ">contig one line\n" + bases + "\n");
  hostile::WriteFile(dir / "report.cm", report);
  const ChildResult r = RunProgram(dir, {}, 30);
  ExpectSound(dir, r, 0, "megabyte contig line");
  EXPECT_EQ(r.mStdout, kConsole);
  EXPECT_EQ(r.mStderr, "");

  const std::string unionSeq = bases.substr(0, first + 10) + "--" + bases.substr(first + 10);
  const std::string pileup = hostile::ReadFile(dir / "pileup.txt");
  const size_t lineLength = 20 + 10 + 2 + 100 + 1;
  const size_t blocks = (unionSeq.size() + 99) / 100;  // 50001
  // Every block: source line and empty line; readZ has a line in the last two.
  ASSERT_EQ(pileup.size(), blocks * (lineLength + 1) + 2 * lineLength);
  EXPECT_EQ(pileup.substr(0, lineLength + 1),
            PileupLine("UnionSource", "0", unionSeq.substr(0, 100)) + "\n");
  const std::string tail =
      PileupLine("UnionSource", std::to_string(first), unionSeq.substr(first, 100)) +
      PileupLine("readZ", "0", readSide + Dots(78)) + "\n" +
      PileupLine("UnionSource", std::to_string(first + 100), unionSeq.substr(first + 100) + "%" + Dots(97)) +
      PileupLine("readZ", "100", Dots(100)) + "\n";
  EXPECT_EQ(pileup.substr(pileup.size() - tail.size()), tail);
}

// Many reads that begin near the end of a long contig: the blocks before
// them cost no more than the lines they print.
TEST(HostileProgram, LateReadsOnALongContigPrintInTime) {
  const size_t length = 5000000;
  std::string bases = hostile::Garbage(length, 5);
  for (char& c : bases) c = "ACGT"[static_cast<unsigned char>(c) & 3];
  const size_t first = length - 100;  // 0-based, a block's first column
  const std::string text = bases.substr(first, 4);
  const std::string hit = "9 0 0 0 r 1 4 (0) c " + std::to_string(first + 1) + " " + std::to_string(first + 4) +
                          " (96)\n\nr 1 " + text + " 4\n\nc 1 " + text + " 4\n\nTransitions\n";
  const int hits = 100000;
  {
    std::string report;
    report.reserve(hit.size() * hits);
    for (int i = 0; i < hits; ++i) report += hit;
    ScratchDir dir;
    hostile::WriteFile(dir / "contig.fa", ">c\n" + bases + "\n");
    hostile::WriteFile(dir / "report.cm", report);
    report.clear();
    report.shrink_to_fit();
    const ChildResult r = RunProgram(dir, {}, 10);
    ExpectSound(dir, r, 0, "late reads on a long contig");
    EXPECT_EQ(r.mStdout, kConsole);
    const std::string pileup = hostile::ReadFile(dir / "pileup.txt");
    const size_t lineLength = 20 + 10 + 2 + 100 + 1;
    // 50,000 blocks of a source line and an empty line; the last holds the reads.
    ASSERT_EQ(pileup.size(), (length / 100) * (lineLength + 1) + hits * lineLength);
    const std::string readLine = PileupLine("r", "0", text + Dots(96));
    EXPECT_EQ(pileup.substr(pileup.size() - 2 * lineLength - 1),
              readLine + readLine + "\n");
  }
}

// A read name of 100,000 characters, and 100,000 hits of one read all tied.
TEST(HostileProgram, HugeNamesAndManyTiedHits) {
  const std::string sourceLine = PileupLine("UnionSource", "0", "ACGTACGTACG%" + Dots(88));
  {
    const std::string name(100000, 'n');
    const std::string report = "   66  0.00 0.00 0.00  " + name + " 1 11 (0)  contig 1 11 (0)\n\n  " + name +
                               " 1 ACGTACGTACG 11\n\n  contig 1 ACGTACGTACG 11\n\nTransitions\n";
    ScratchDir dir;
    hostile::WriteFile(dir / "contig.fa", Data("contig.fa"));
    hostile::WriteFile(dir / "report.cm", report);
    const ChildResult r = RunProgram(dir);
    ExpectSound(dir, r, 0, "long read name");
    EXPECT_EQ(r.mStdout, kConsole);
    EXPECT_EQ(hostile::ReadFile(dir / "pileup.txt"),
              sourceLine + PileupLine(name, "0", "ACGTACGTACG" + Dots(89)) + "\n");
  }
  {
    const int hits = 100000;
    std::string report;
    const std::string hit = "9 0 0 0 r 1 4 (0) contig 1 4 (7)\n\nr 1 ACGT 4\n\ncontig 1 ACGT 4\n\nTransitions\n";
    report.reserve(hit.size() * hits);
    for (int i = 0; i < hits; ++i) report += hit;
    ScratchDir dir;
    hostile::WriteFile(dir / "contig.fa", Data("contig.fa"));
    hostile::WriteFile(dir / "report.cm", report);
    report.clear();
    report.shrink_to_fit();
    const ChildResult r = RunProgram(dir, {}, 30);
    ExpectSound(dir, r, 0, "100000 tied hits");
    EXPECT_EQ(r.mStdout, kConsole);
    const std::string readLine = PileupLine("r", "0", "ACGT" + Dots(96));
    std::string expected = sourceLine;
    expected.reserve(sourceLine.size() + readLine.size() * hits + 1);
    for (int i = 0; i < hits; ++i) expected += readLine;
    expected += "\n";
    EXPECT_TRUE(hostile::ReadFile(dir / "pileup.txt") == expected);
  }
}

// Writes `text` into the named pipe `path` from a child process: it waits
// for a reader, writes everything, closes and ends.
pid_t FeedPipe(const std::string& path, const std::string& text) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(path.c_str(), O_WRONLY);
    size_t done = 0;
    while (fd >= 0 && done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (fd >= 0) close(fd);
    _exit(done == text.size() ? 0 : 1);
  }
  return pid;
}

// Contig and report from named pipes whose writers finish at once: both are
// read whole, and nothing waits for a writer that has gone.
TEST(HostileProgram, NamedPipesAreReadWhole) {
  for (int round = 0; round < 10; ++round) {
    ScratchDir dir;
    ASSERT_EQ(mkfifo((dir / "contig.fa").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir / "report.cm").c_str(), 0600), 0);
    const pid_t writers[] = {FeedPipe(dir / "contig.fa", Data("contig.fa")),
                             FeedPipe(dir / "report.cm", Data("report.cm"))};
    const ChildResult r = RunProgram(dir, {}, 5);
    for (pid_t w : writers) {
      kill(w, SIGKILL);  // a writer still waiting for a reader
      waitpid(w, nullptr, 0);
    }
    EXPECT_FALSE(r.mTimedOut) << round;
    EXPECT_EQ(r.mStatus, 0) << round << r.mStderr;
    EXPECT_EQ(r.mStdout, kConsole) << round;
    EXPECT_EQ(hostile::ReadFile(dir / "pileup.txt"), Data("basic.pileup")) << round;
  }
}

// Failures the command line reports: a message naming the file and the
// reason on standard error, status 1 (2 for a usage error), no pileup left.
TEST(HostileProgram, CommandLineFailuresAreReported) {
  struct Case {
    const char* mWhat;
    std::vector<std::string> mArgs;
    bool mMakeDir;  // make a directory named contig.fa instead of the file
    int mStatus;
    const char* mStdout;
    const char* mStderr;
  };
  const Case cases[] = {
      {"no arguments", {}, false, 2, "",
       "usage: pileograph-txt contig-file report-file pileup-file [start end]\n"},
      {"two arguments", {"contig.fa", "report.cm"}, false, 2, "",
       "usage: pileograph-txt contig-file report-file pileup-file [start end]\n"},
      {"missing contig", {"none.fa", "report.cm", "pileup.txt"}, false, 1, "Read contig..done.\n",
       "pileograph-txt: none.fa: No such file or directory\n"},
      {"contig is a directory", {"contig.fa", "report.cm", "pileup.txt"}, true, 1, "Read contig..done.\n",
       "pileograph-txt: contig.fa: Is a directory\n"},
      {"missing report", {"contig.fa", "none.cm", "pileup.txt"}, false, 1,
       "Read contig..done.\nParse CM..done.\n", "pileograph-txt: none.cm: No such file or directory\n"},
      {"pileup in a missing directory", {"contig.fa", "report.cm", "no/such/dir/pileup.txt"}, false, 1,
       kConsole.c_str(), "pileograph-txt: no/such/dir/pileup.txt: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    if (c.mMakeDir) {
      std::filesystem::create_directory(dir / "contig.fa");
    } else {
      hostile::WriteFile(dir / "contig.fa", Data("contig.fa"));
    }
    hostile::WriteFile(dir / "report.cm", Data("report.cm"));
    std::vector<std::string> args = {PILEOGRAPH_TXT};
    args.insert(args.end(), c.mArgs.begin(), c.mArgs.end());
    const ChildResult r = hostile::RunChild(args, dir.Path(), TimeLimit(10));
    ExpectSound(dir, r, c.mStatus, c.mWhat);
    EXPECT_EQ(r.mStdout, c.mStdout) << c.mWhat;
    EXPECT_EQ(r.mStderr, c.mStderr) << c.mWhat;
    EXPECT_FALSE(hostile::Exists(dir / "pileup.txt")) << c.mWhat;
  }
}

// A read or write of a file that fails is reported, never taken for its end:
// the kernel is made to fail the first or a later call on that file.
TEST(HostileProgram, FailedReadsAndWritesAreReported) {
  if (hostile::Strace().empty()) GTEST_SKIP() << "strace is not installed";
  ScratchDir data;  // a contig and a report read in two blocks each
  ASSERT_TRUE(hostile::Generate(data.Path(), 300000, 100));
  const std::vector<std::string> args = {PILEOGRAPH_TXT, "contig.fa", "report.cm", "pileup.txt", "0", "2999"};
  auto prepare = [&](const ScratchDir& dir) {
    for (const char* name : {"contig.fa", "report.cm"}) {
      std::filesystem::copy_file(data / name, dir / name);
    }
  };
  const ChildResult clean = hostile::RunChild(args, data.Path(), TimeLimit(20));
  ASSERT_EQ(clean.mStatus, 0) << clean.mStderr;
  const std::string cleanPileup = hostile::ReadFile(data / "pileup.txt");
  const std::string cleanUnion = hostile::ReadFile(data / "usrctest.fa");
  ASSERT_NE(cleanPileup.find("read"), std::string::npos);
  ASSERT_GT(cleanUnion.size(), 256u * 1024);  // written in two
  const std::string earlier(3 << 20, 'e');    // usrctest.fa of an earlier run

  const std::string partial = "Read contig..done.\nParse CM..done.\n";
  const std::string writeFailed = partial + "Merging alignments...ConstructSource...usrctest.fa file write failed\n"
                                            "Init With Queries ...MergePads...done.\n";
  struct Case {
    const char* mFile;
    const char* mCalls;
    const char* mError;
    const char* mWhen;
    int mStatus;
    std::string mStdout;
    std::string mStderr;
    const std::string& mUsrctest;  // what usrctest.fa holds after the run
    const char* mAlso = "";        // a second fault
  };
  const std::string empty, firstWrite = cleanUnion.substr(0, 256 * 1024);  // the program's write buffer
  const Case cases[] = {
      {"contig.fa", "read", "EIO", "1", 1, "Read contig..done.\n",
       "pileograph-txt: contig.fa: Input/output error\n", earlier},
      {"contig.fa", "read", "EIO", "2", 1, "Read contig..done.\n",
       "pileograph-txt: contig.fa: Input/output error\n", earlier},
      {"report.cm", "read", "EIO", "1", 1, partial, "pileograph-txt: report.cm: Input/output error\n", earlier},
      {"report.cm", "read", "EIO", "2", 1, partial, "pileograph-txt: report.cm: Input/output error\n", earlier},
      {"usrctest.fa", "ftruncate", "EIO", "1", 0, writeFailed, "", earlier},  // not cut, not written
      {"usrctest.fa", "flock", "ENOLCK", "1+", 0, kConsole, "", cleanUnion},
      {"usrctest.fa", "fcntl", "EINVAL", "1+", 0, kConsole, "", cleanUnion},  // no OFD locks before Linux 3.15
      {"", "statx", "ENOSYS", "1+", 0, kConsole, "", cleanUnion},  // an old kernel
      {"", "statx", "EPERM", "1+", 0, kConsole, "", cleanUnion},   // a seccomp filter
      {"usrctest.fa", "write", "EIO", "2", 0, writeFailed, "", firstWrite, "ftruncate:error=EIO:when=2+"},
      {"usrctest.fa", "write", "EIO", "1", 0, writeFailed, "", empty},
      {"usrctest.fa", "write", "EIO", "2", 0, writeFailed, "", empty},  // never old and new mixed
      {"pileup.txt", "write,writev", "ENOSPC", "1+", 1, kConsole,
       "pileograph-txt: pileup.txt: No space left on device\n", cleanUnion},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.mCalls) + " " + c.mWhen + " of " + c.mFile + " " + c.mAlso;
    ScratchDir dir;
    prepare(dir);
    hostile::WriteFile(dir / "usrctest.fa", earlier);
    const std::string file = *c.mFile == '\0' ? "" : dir / c.mFile;
    const ChildResult r = hostile::RunChild(
        hostile::FailingCalls(file, c.mCalls, c.mError, c.mWhen, args, c.mAlso), dir.Path(), TimeLimit(20));
    ExpectSound(dir, r, c.mStatus, what);
    EXPECT_EQ(r.mStdout, c.mStdout) << what;
    EXPECT_EQ(r.mStderr, c.mStderr) << what;
    EXPECT_TRUE(hostile::ReadFile(dir / "usrctest.fa") == c.mUsrctest)
        << what << ": " << hostile::FileSize(dir / "usrctest.fa") << " B";
    if (c.mStatus == 0) {
      EXPECT_TRUE(hostile::ReadFile(dir / "pileup.txt") == cleanPileup) << what;
    } else {
      EXPECT_FALSE(hostile::Exists(dir / "pileup.txt")) << what;
    }
    EXPECT_EQ(Hidden(dir.Path()), "") << what;
  }
}

// A pileup that cannot be written whole is removed from the file it was
// written to; a symbolic link that leads there stays. A file-size limit is a
// failed write like any other.
TEST(HostileProgram, FailedPileupLeavesNoPartialFile) {
  ScratchDir dir;
  ASSERT_TRUE(hostile::Generate(dir.Path(), 300000, 100));  // usrctest.fa and pileup over 2 kB
  const std::vector<std::string> args = {PILEOGRAPH_TXT, "contig.fa", "report.cm", "px.txt", "0", "2999"};
  const std::string partial = "Read contig..done.\nParse CM..done.\n";
  auto isLink = [](const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  };

  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink("sub/target.txt", dir / "px.txt");
  ChildResult r = hostile::RunChild(args, dir.Path(), TimeLimit(20));
  ExpectSound(dir, r, 0, "through a link");
  EXPECT_TRUE(isLink(dir / "px.txt"));
  EXPECT_GT(hostile::FileSize(dir / "sub/target.txt"), 2048);
  if (!hostile::Strace().empty()) {
    r = hostile::RunChild(hostile::FailingCalls(dir / "sub/target.txt", "write,writev", "ENOSPC", "1+", args),
                          dir.Path(), TimeLimit(20));
    ExpectSound(dir, r, 1, "through a link, ENOSPC");
    EXPECT_EQ(r.mStderr, "pileograph-txt: px.txt: No space left on device\n");
    EXPECT_TRUE(isLink(dir / "px.txt"));
    EXPECT_FALSE(hostile::Exists(dir / "sub/target.txt"));
  }
  std::filesystem::remove(dir / "px.txt");

  std::vector<std::string> limited = {"/bin/bash", "-c", "ulimit -f 2 && exec \"$0\" \"$@\""};
  limited.insert(limited.end(), args.begin(), args.end());
  r = hostile::RunChild(limited, dir.Path(), TimeLimit(20));
  ExpectSound(dir, r, 1, "ulimit -f 2");
  EXPECT_EQ(r.mStdout, partial + "Merging alignments...ConstructSource...usrctest.fa file write failed\n"
                                 "Init With Queries ...MergePads...done.\n");
  EXPECT_EQ(r.mStderr, "pileograph-txt: px.txt: File too large\n");
  EXPECT_FALSE(hostile::Exists(dir / "px.txt"));
}

// A pileup that cannot be written from its first block on stops the
// printing there: the run takes about as long as one that prints a block.
TEST(HostileProgram, UnwritablePileupStopsEarly) {
  ScratchDir dir;  // a layout of some 4 GB
  ASSERT_TRUE(hostile::Generate(dir.Path(), 500000, 10000));
  const std::vector<std::string> args = {PILEOGRAPH_TXT, "contig.fa", "report.cm"};
  std::vector<std::string> oneBlock = args, unwritable = args;
  oneBlock.insert(oneBlock.end(), {"one.txt", "0", "0"});
  unwritable.push_back("/dev/full");
  const ChildResult one = hostile::RunChild(oneBlock, dir.Path(), TimeLimit(30));
  ASSERT_EQ(one.mStatus, 0) << one.mStderr;
  const ChildResult full = hostile::RunChild(unwritable, dir.Path(), TimeLimit(30));
  EXPECT_EQ(full.mStatus, 1);
  EXPECT_EQ(full.mStderr, "pileograph-txt: /dev/full: No space left on device\n");
  EXPECT_LT(full.mCpuSeconds, 2 * one.mCpuSeconds + 0.5) << "one block took " << one.mCpuSeconds << " s";
}

// File systems mounted by a test, taken off when it ends.
struct Mounts {
  std::vector<std::string> mPaths;
  ~Mounts() { for (auto p = mPaths.rbegin(); p != mPaths.rend(); ++p) umount2(p->c_str(), MNT_DETACH); }
};

// A full copy-on-write file system, and a subvolume all but at its quota:
// the rewrite of usrctest.fa may fail midway. It is left as it was, empty,
// whole or the start of the new file, never new followed by old; the console
// says so unless it is whole, and the run goes on.
TEST(HostileProgram, FullBtrfsLeavesNoMix) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount";
  // 128 MiB, sparse (data and metadata apart, as on a real disk), with an earlier usrctest.fa of 'e's.
  const std::string make = "PATH=$PATH:/usr/sbin:/sbin; command -v mkfs.btrfs >/dev/null || exit 2; "
                           "truncate -s 128M img && mkfs.btrfs -q img >/dev/null 2>&1 && mkdir fs && "
                           "mount -o loop img fs || exit 3; early() { head -c $2 /dev/zero | tr '\\0' e >\"$1\"; }; ";
  struct Case {
    const char* mWhat;
    int mContig;  // gen_cm's contig length, about the size of usrctest.fa
    const char* mFolder;
    const char* mFill;
    bool mFits;  // the new file may fit once the earlier 3 MB is cut
  };
  const Case cases[] = {
      // Full but for 512 KiB: half of what the rewrite needs.
      {"full", 1000000, "fs", "early fs/usrctest.fa 3M && head -c 512K /dev/zero >fs/spare && "
                              "{ cat /dev/zero >fs/filler 2>/dev/null; sync && rm fs/spare && sync; }", true},
      // 128 KiB to spare under the limit and 64 KiB in the earlier file, for 300 KiB to write: the write fails.
      {"quota", 300000, "fs/sub", "btrfs quota enable fs && btrfs subvolume create fs/sub >/dev/null && "
                                  "early fs/sub/usrctest.fa 64K && sync && timeout 20 btrfs quota rescan -w fs >/dev/null "
                                  "&& used=$(btrfs qgroup show -rf --raw fs/sub | awk '$1 ~ /^0\\// { print $2 }') "
                                  "&& btrfs qgroup limit $((used + 131072)) fs/sub", false},
  };
  const std::string writeFailed = "Read contig..done.\nParse CM..done.\nMerging alignments...ConstructSource..."
                                  "usrctest.fa file write failed\nInit With Queries ...MergePads...done.\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mWhat);
    ScratchDir dir;
    ASSERT_TRUE(hostile::Generate(dir.Path(), c.mContig, 20));
    ASSERT_EQ(RunProgram(dir).mStatus, 0);
    const std::string whole = hostile::ReadFile(dir / "usrctest.fa");
    ASSERT_GT(whole.size(), 256u * 1024);  // more than is spare, and written in two or more
    const ChildResult made = hostile::RunChild({"/bin/sh", "-c", make + c.mFill}, dir.Path(), 60);
    const Mounts mounts{{dir / "fs"}};
    if (made.mStatus == 2 || made.mStatus == 3) {
      GTEST_SKIP() << (made.mStatus == 2 ? "mkfs.btrfs is not installed" : "cannot mount a btrfs");
    }
    ASSERT_EQ(made.mStatus, 0) << made.mStderr;
    const ChildResult r = hostile::RunChild({"/bin/sh", "-c", std::string("cd ") + c.mFolder + " && exec \"$0\" \"$@\"",
                                             PILEOGRAPH_TXT, dir / "contig.fa", dir / "report.cm", dir / "run.txt"},
                                            dir.Path(), TimeLimit(120));
    EXPECT_EQ(r.mStatus, 0) << r.mStderr;
    EXPECT_TRUE(hostile::ReadFile(dir / "run.txt") == hostile::ReadFile(dir / "pileup.txt"));
    const std::string left = hostile::ReadFile(dir / (c.mFolder + std::string("/usrctest.fa")));
    const bool start = left.size() <= whole.size() && whole.compare(0, left.size(), left) == 0;
    EXPECT_TRUE(start || (c.mFits && left == std::string(3 << 20, 'e'))) << left.size() << " B";
    EXPECT_TRUE(c.mFits || left != whole) << "the quota left room for the whole file";
    EXPECT_EQ(r.mStdout, left == whole ? kConsole : writeFailed) << left.size() << " B";
  }
}

// Root may write anywhere; `args` run as `user` (group `user`, and `groups`
// besides) when this process is root. Empty when that user cannot reach the
// program or `dir`.
std::vector<std::string> Unprivileged(const std::vector<std::string>& args, const std::string& dir,
                                      const std::string& user = "65534", const std::string& groups = "") {
  if (geteuid() != 0) return args;
  const std::vector<std::string> drop = {"/usr/bin/setpriv", "--reuid=" + user, "--regid=" + user,
                                         groups.empty() ? "--clear-groups" : "--groups=" + groups};
  if (access(drop[0].c_str(), X_OK) != 0) return {};
  std::vector<std::string> probe = drop;
  probe.insert(probe.end(), {"/bin/sh", "-c", "test -x \"$0\" && test -r \"$1\" && test -x \"$1\"", PILEOGRAPH_TXT, dir});
  if (hostile::RunChild(probe, dir, 10).mStatus != 0) return {};
  std::vector<std::string> run = drop;
  run.insert(run.end(), args.begin(), args.end());
  return run;
}

// Runs side by side never mix at usrctest.fa: it holds one run's union
// contig, written by a run that locked it while the others leave it alone, in a folder of its own, in a read-only folder (as
// nobody) and as a link into another folder; nothing is left beside it.
TEST(HostileProgram, SideBySideRunsKeepUsrctestWhole) {
  ScratchDir dir;
  std::vector<std::string> unions;
  for (const int seed : {1, 2}) {
    ScratchDir data;
    ASSERT_TRUE(hostile::Generate(data.Path(), 3000000, 20, seed));
    const std::string name = std::to_string(seed);
    std::filesystem::copy_file(data / "contig.fa", dir / (name + ".fa"));
    std::filesystem::copy_file(data / "report.cm", dir / (name + ".cm"));
    const ChildResult alone =
        hostile::RunChild({PILEOGRAPH_TXT, name + ".fa", name + ".cm", name + ".txt"}, dir.Path(), TimeLimit(30));
    ASSERT_EQ(alone.mStatus, 0) << alone.mStderr;
    unions.push_back(hostile::ReadFile(dir / "usrctest.fa"));
  }
  ASSERT_NE(unions[0], unions[1]);
  chmod(dir.Path().c_str(), 0777);
  for (const char* sub : {"own", "ro", "link", "other"}) std::filesystem::create_directory(dir / sub);
  hostile::WriteFile(dir / "ro/usrctest.fa", "");
  chmod((dir / "ro/usrctest.fa").c_str(), 0666);
  std::filesystem::create_symlink("../other/u.fa", dir / "link/usrctest.fa");
  // 16 runs at once, 8 of each contig.
  const std::string runs =
      "for i in 1 2 3 4 5 6 7 8; do \"$0\" ../1.fa ../1.cm /dev/null & p=\"$p $!\"; "
      "\"$0\" ../2.fa ../2.cm /dev/null & p=\"$p $!\"; done; s=0; for i in $p; do wait $i || s=1; done; exit $s";
  struct Case {
    const char* mFolder;
    bool mNobody;
    const char* mUsrctest;
    int mRounds;  // unlocked writes in place mix in about a third of the rounds
  };
  for (const Case& c : {Case{"own", false, "own/usrctest.fa", 3}, Case{"link", false, "other/u.fa", 3},
                        Case{"ro", true, "ro/usrctest.fa", 10}}) {
    std::vector<std::string> args = {"/bin/sh", "-c", runs, PILEOGRAPH_TXT};
    if (c.mNobody) {
      chmod((dir / c.mFolder).c_str(), 0555);
      args = Unprivileged(args, dir.Path());
    }
    if (args.empty()) {
      chmod((dir / c.mFolder).c_str(), 0755);
      GTEST_SKIP() << "user 65534 cannot run " << PILEOGRAPH_TXT << " in " << dir.Path();
    }
    const int rounds = hostile::kSanitized ? 1 : c.mRounds;  // slow there, and a mix is no memory fault
    for (int round = 0; round < rounds; ++round) {
      const ChildResult r = hostile::RunChild(args, dir / c.mFolder, TimeLimit(60));
      ASSERT_EQ(r.mStatus, 0) << c.mFolder << r.mStderr;
      EXPECT_EQ(r.mStdout.find("failed"), std::string::npos) << r.mStdout;  // a run finds it written or in use
      const std::string usrctest = hostile::ReadFile(dir / c.mUsrctest);
      EXPECT_TRUE(usrctest == unions[0] || usrctest == unions[1])
          << c.mFolder << " round " << round << ": " << usrctest.size() << " B";
    }
    chmod((dir / c.mFolder).c_str(), 0755);
    EXPECT_EQ(Hidden(dir / c.mFolder) + Hidden(dir / "other"), "") << c.mFolder;
  }
}

// A shared usrctest.fa stays the same file when another member of its group
// writes it: owner, group, mode, inode, ACL and attributes, and both names.
TEST(HostileProgram, SharedUsrctestStaysTheSameFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make the file of another user";
  ScratchDir dir;
  for (const char* name : {"contig.fa", "report.cm"}) hostile::WriteFile(dir / name, Data(name));
  chmod(dir.Path().c_str(), 0777);
  const std::string usrctest = dir / "usrctest.fa";
  hostile::WriteFile(usrctest, "earlier\n");
  ASSERT_EQ(link(usrctest.c_str(), (dir / "second.fa").c_str()), 0);
  ASSERT_EQ(chown(usrctest.c_str(), 1000, 3000), 0);
  ASSERT_EQ(chmod(usrctest.c_str(), 0664), 0);
  // user::rw- user:1002:rw- group::rw- mask::rw- other::r--
  const uint32_t acl[] = {2, 0x00060001, 0xffffffff, 0x00060002, 1002, 0x00060004, 0xffffffff,
                          0x00060010, 0xffffffff, 0x00040020, 0xffffffff};
  if (setxattr(usrctest.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) != 0 ||
      setxattr(usrctest.c_str(), "user.origin", "kept", 4, 0) != 0) {
    GTEST_SKIP() << "no ACL or user attributes here: " << std::strerror(errno);
  }
  auto attributes = [&] {
    struct stat st;
    stat(usrctest.c_str(), &st);
    char value[256];
    const ssize_t aclBytes = getxattr(usrctest.c_str(), "system.posix_acl_access", value, sizeof value);
    std::string text = std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " +
                       std::to_string(st.st_mode & 07777) + " " + std::to_string(st.st_ino) + " acl " +
                       std::string(value, static_cast<size_t>(std::max<ssize_t>(aclBytes, 0)));
    const ssize_t userBytes = getxattr(usrctest.c_str(), "user.origin", value, sizeof value);
    return text + " user " + std::string(value, static_cast<size_t>(std::max<ssize_t>(userBytes, 0)));
  };
  const std::string before = attributes();
  const std::vector<std::string> args =
      Unprivileged({PILEOGRAPH_TXT, "contig.fa", "report.cm", "pileup.txt"}, dir.Path(), "1001", "3000");
  if (args.empty()) GTEST_SKIP() << "user 1001 cannot run " << PILEOGRAPH_TXT << " in " << dir.Path();
  const ChildResult r = hostile::RunChild(args, dir.Path(), TimeLimit(20));
  EXPECT_EQ(r.mStatus, 0) << r.mStderr;
  EXPECT_EQ(r.mStdout, kConsole);
  EXPECT_EQ(attributes(), before);
  EXPECT_EQ(hostile::ReadFile(usrctest), ">UnionSource \nACG--TACGTA-CG\n");
  EXPECT_EQ(hostile::ReadFile(dir / "second.fa"), hostile::ReadFile(usrctest));
}

// Around the program: stdout a closed pipe or head -c 5, a FIFO reader that leaves, ulimit -v, umask 222.
enum Wrapping { kNone, kClosedStdout, kHead, kFifoReader, kNoMemory, kReadOnlyFiles };
// Contents other than bytes: a FIFO, no file, the generated data's clean pileup or its first 256 kB.
const std::string kFifo = "<fifo>", kAbsent = "<absent>", kBigPileup = "<big>", kFirstWrite = "<big, 256 kB>";

// A run and how it ends; unless given: small files, no wrapping or fault, status 0, the whole
// console. File(): bytes, kFifo, "->x" a symbolic link ("~>x" one of user 65534), "=>x" a hard link,
// "z>x" the gzip of x, written first. Fail(): `calls` on `file` ("": any) fail with `error` from the
// `when`-th on, `also` a 2nd fault.
// ReadOnly(): the pileup in read-only ro/, run as nobody, as with Nobody(). In(): run in that folder;
// Tmpfs(): a 64 KiB file system there. Bind(): file `from` mounted on `to`. Sticky(): the folder 1777.
// Held(): `name` read-locked by another process through the run (F_SETLK: POSIX, F_OFD_SETLK: OFD, else
// flock); Leased(): a read lease. Swap(): the pileup made a hard link of input `x` while its open waits.
struct Row {
  Row(const char* id, const char* what) : mId(id), mWhat(what) {}
  Row& Big() { mBig = true; return *this; }
  Row& File(const std::string& name, const std::string& bytes) { mFiles.emplace_back(name, bytes); return *this; }
  Row& Args(const std::vector<std::string>& args) { mArgs = args; return *this; }
  Row& Wrap(Wrapping wrap) { mWrap = wrap; return *this; }
  Row& Fail(const std::string& file, const std::string& also = "", const std::string& calls = "write,writev",
            const std::string& error = "ENOSPC", const std::string& when = "2+") {
    mFail = file;
    mAlso = also;
    mFailCalls = calls;
    mFailError = error;
    mFailWhen = when;
    return *this;
  }
  Row& ReadOnly() { mReadOnly = mNobody = true; mArgs.back() = "ro/pileup.txt"; return *this; }
  Row& Nobody() { mNobody = true; return *this; }
  Row& In(const std::string& folder) { mIn = folder; return *this; }
  Row& Tmpfs() { mTmpfs = true; return *this; }
  Row& Bind(const std::string& from, const std::string& to) { mBind = {from, to}; return *this; }
  Row& Sticky() { mSticky = true; return *this; }
  Row& Held(const std::string& name, int kind = 0) { mHeld = name; mLockKind = kind; return *this; }
  Row& Swap(const std::string& input) { mSwap = input; return *this; }
  Row& Leased(const std::string& name) { mHeld = name; mLease = true; return *this; }
  Row& Status(int status) { mStatus = status; return *this; }
  Row& Stdout(const std::string& text) { mStdout = text; return *this; }
  Row& Stderr(const std::string& text) { mStderr = text; return *this; }
  Row& Left(const std::string& name, const std::string& bytes) { mLeft.emplace_back(name, bytes); return *this; }
  std::string mId, mWhat, mFail, mAlso, mFailCalls, mFailError, mFailWhen, mIn, mHeld, mSwap,
      mStdout = kConsole, mStderr;
  std::vector<std::string> mArgs = {"contig.fa", "report.cm", "pileup.txt"};
  std::vector<std::pair<std::string, std::string>> mFiles, mLeft;
  std::pair<std::string, std::string> mBind;
  Wrapping mWrap = kNone;
  bool mBig = false, mReadOnly = false, mNobody = false, mTmpfs = false, mSticky = false, mLease = false;
  int mStatus = 0, mLockKind = 0;
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.mWhat; }

// Pipes without readers, a pileup that cannot be removed or has a second
// name, usrctest.fa that is an input or in use, hits against another subject
// or none, compressed inputs, and memory that runs out: exact console, status
// and the files left.
std::vector<Row> SurroundingRows() {
  const std::string contig = Data("contig.fa"), report = Data("report.cm"), basic = Data("basic.pileup");
  const std::string oneOther = std::string(report).replace(report.find("(0)    contig "), 14, "(0)    contigX");
  const std::string noSpace = "pileograph-txt: ro/pileup.txt: No space left on device";
  const std::string mergeInput = "Read contig..done.\nParse CM..done.\nMerging alignments...ConstructSource..."
                                 "usrctest.fa file is an input, not written\nInit With Queries ...MergePads...done.\n";
  const std::string noMemory = "pileograph-txt: /dev/zero: Cannot allocate memory\n";
  const std::string unionFa = ">UnionSource \nACG--TACGTA-CG\n";
  const std::string earlier(12 * 1024, 'e'), filler(44 * 1024, 'f');  // leave 8 KiB of 64
  const std::string longName = std::string(247, 'n') + ".fa";
  auto console = [](const std::string& usrctest) {
    return "Read contig..done.\nParse CM..done.\nMerging alignments...ConstructSource...usrctest.fa file " +
           usrctest + "\nInit With Queries ...MergePads...done.\n";
  };
  auto subjects = [&](const std::vector<std::string>& names) {  // of the four hits, in order
    std::string text = report;
    size_t at = 0;
    for (const std::string& name : names) {
      at = text.find("(0)    contig ", at) + 7;
      text.replace(at, 6, name);
    }
    return text;
  };
  auto refused = [](const std::string& path, const std::string& input) {
    return "pileograph-txt: " + path + ": is the " + input + " file, not overwritten\n";
  };
  auto noHits = [](const std::string& path) {
    return "pileograph-txt: " + path + ": no alignments found, the pileup shows the contig alone\n";
  };
  auto gzipped = [](const std::string& path) {
    return "pileograph-txt: " + path + ": gzip-compressed, decompress it first\n";
  };
  return {
      Row("ClosedStdout", "standard output a closed pipe").Wrap(kClosedStdout).Stdout("").Left("pileup.txt", basic),
      Row("HeadPipe", "piped into head -c 5").Big().Wrap(kHead).Stdout("Read ").Left("pileup.txt", kBigPileup),
      Row("FifoReaderLeaves", "pileup a FIFO whose reader leaves").Big().File("pileup.txt", kFifo).Wrap(kFifoReader)
          .Status(1).Stderr("pileograph-txt: pileup.txt: Broken pipe\n").Left("pileup.txt", kFifo),
      Row("NoSpaceReadOnly", "ENOSPC in a read-only folder").Big().ReadOnly().Fail("ro/pileup.txt").Status(1)
          .Stderr(noSpace + " (left empty: it could not be removed)\n").Left("ro/pileup.txt", ""),
      Row("NoSpaceFtruncateFails", "ENOSPC in a read-only folder, ftruncate fails").Big().ReadOnly().Status(1)
          .Fail("ro/pileup.txt", "ftruncate:error=EIO:when=2+").Left("ro/pileup.txt", kFirstWrite)
          .Stderr(noSpace + " (the partial file remains)\n"),
      Row("NoSpaceHardLink", "ENOSPC through one of two hard links").Big().File("pileup.txt", "").Status(1)
          .File("other.txt", "=>pileup.txt").Fail("pileup.txt").Left("pileup.txt", kAbsent).Left("other.txt", "")
          .Stderr("pileograph-txt: pileup.txt: No space left on device\n"),
      Row("UsrctestContig", "contig ./usrctest.fa").File("usrctest.fa", contig).Stdout(mergeInput)
          .Args({"./usrctest.fa", "report.cm", "pileup.txt"}).Left("usrctest.fa", contig).Left("pileup.txt", basic),
      Row("UsrctestLinkToReport", "usrctest.fa a link to the report").File("usrctest.fa", "->report.cm")
          .Stdout(mergeInput).Left("report.cm", report).Left("pileup.txt", basic),
      Row("EveryHitOtherContig", "every hit against another contig").File("contig.fa", ">contig2\nACGTACGTACG\n")
          .Stderr("pileograph-txt: report.cm: 4 of 4 hits are against contig, not contig2\n").Left("pileup.txt", basic),
      Row("OneHitOtherContig", "one hit against another contig").File("report.cm", oneOther)
          .Stderr("pileograph-txt: report.cm: 1 of 4 hits is against contigX, not contig\n").Left("pileup.txt", basic),
      Row("NoMemoryContig", "memory runs out reading the contig").Args({"/dev/zero", "report.cm", "pileup.txt"})
          .Wrap(kNoMemory).Status(1).Stdout("Read contig..").Stderr(noMemory).Left("pileup.txt", kAbsent),
      Row("NoMemoryReport", "memory runs out reading the report").File("pileup.txt", "earlier\n")
          .Args({"contig.fa", "/dev/zero", "pileup.txt"}).Wrap(kNoMemory).Status(1)
          .Stdout("Read contig..done.\nParse CM..").Stderr(noMemory).Left("pileup.txt", "earlier\n"),
      Row("TwoOtherSubjects", "hits against two other subjects").File("report.cm", subjects({"contig", "contig2",
          "contig3", "contig"})).Stderr("pileograph-txt: report.cm: 2 of 4 hits are against contig2 and contig3, "
          "not contig\n").Left("pileup.txt", basic),
      Row("FourOtherSubjects", "hits against four other subjects").File("report.cm", subjects({"c1", "c2", "c3",
          "c4"})).Stderr("pileograph-txt: report.cm: 4 of 4 hits are against c1, c2, c3 and 1 more subject, "
          "not contig\n").Left("pileup.txt", basic),
      Row("UnnamedContig", "a contig without a name").File("contig.fa", ">\nACGTACGTACG\n")
          .Stderr("pileograph-txt: report.cm: 4 of 4 hits are against contig, not the unnamed contig\n"),
      Row("PileupIsContig", "the contig named as the pileup").Args({"contig.fa", "report.cm", "contig.fa"})
          .Status(1).Stdout("").Stderr(refused("contig.fa", "contig")).Left("contig.fa", contig)
          .Left("usrctest.fa", kAbsent),
      Row("PileupLinksToReport", "the pileup a symbolic link to the report").File("out.txt", "->report.cm")
          .Args({"contig.fa", "report.cm", "out.txt"}).Status(1).Stdout("").Stderr(refused("out.txt", "report"))
          .Left("report.cm", report).Left("usrctest.fa", kAbsent),
      Row("PileupHardLinkToContig", "the pileup a hard link to the contig").File("out.txt", "=>contig.fa")
          .Args({"contig.fa", "report.cm", "out.txt"}).Status(1).Stdout("").Stderr(refused("out.txt", "contig"))
          .Left("contig.fa", contig),
      Row("PileupIsUsrctestContig", "usrctest.fa the contig and the pileup").File("usrctest.fa", contig)
          .Args({"usrctest.fa", "report.cm", "usrctest.fa"}).Status(1).Stdout("")
          .Stderr(refused("usrctest.fa", "contig")).Left("usrctest.fa", contig),
      Row("DevNullTwice", "/dev/null the report and the pileup").Args({"contig.fa", "/dev/null", "/dev/null"})
          .Stderr(noHits("/dev/null")).Left("usrctest.fa", ">UnionSource \nACGTACGTACG\n"),
      Row("NoAlignmentsContigTwice", "the contig given as the report").Args({"contig.fa", "contig.fa", "pileup.txt"})
          .Stderr(noHits("contig.fa")).Left("pileup.txt", Data("contig-alone.pileup")),
      Row("GzipReport", "a gzipped report").File("r.cm.gz", "z>report.cm").File("pileup.txt", "earlier\n")
          .Args({"contig.fa", "r.cm.gz", "pileup.txt"}).Status(1).Stdout("Read contig..done.\nParse CM..done.\n")
          .Stderr(gzipped("r.cm.gz")).Left("pileup.txt", "earlier\n").Left("usrctest.fa", kAbsent),
      Row("GzipContig", "a gzipped contig").File("c.fa.gz", "z>contig.fa").Args({"c.fa.gz", "report.cm", "pileup.txt"})
          .Status(1).Stdout("Read contig..done.\n").Stderr(gzipped("c.fa.gz")).Left("pileup.txt", kAbsent),
      Row("UsrctestFifo", "usrctest.fa a FIFO").File("usrctest.fa", kFifo).Stdout(console("open failed"))
          .Left("usrctest.fa", kFifo).Left("pileup.txt", basic),
      Row("UsrctestReadOnly", "usrctest.fa that nobody may write").Nobody().File("usrctest.fa", "earlier\n")
          .Stdout(console("open failed")).Left("usrctest.fa", "earlier\n").Left("pileup.txt", basic),
      Row("UsrctestInReadOnlyFolder", "a writable usrctest.fa in a read-only folder").ReadOnly().In("ro")
          .Args({"../contig.fa", "../report.cm", "pileup.txt"}).File("ro/usrctest.fa", "earlier\n")
          .Left("ro/usrctest.fa", unionFa).Left("ro/pileup.txt", basic),
      Row("UsrctestFullFolder", "the current folder full").Big().In("full").Tmpfs()
          .Args({"../contig.fa", "../report.cm", "../pileup.txt"}).File("full/usrctest.fa", earlier)
          .File("full/filler", filler).Stdout(console("write failed")).Left("full/usrctest.fa", "")
          .Left("pileup.txt", kBigPileup),
      Row("UsrctestFullReadOnlyFolder", "the current folder full and read-only").Big().ReadOnly().In("ro").Tmpfs()
          .Args({"../contig.fa", "../report.cm", "../pileup.txt"}).File("ro/usrctest.fa", earlier)
          .File("ro/filler", filler).Stdout(console("write failed")).Left("ro/usrctest.fa", "")
          .Left("pileup.txt", kBigPileup),
      Row("UsrctestOtherUsersLink", "usrctest.fa another user's link in a sticky folder").Sticky()
          .File("mine.fa", "mine\n").File("usrctest.fa", "~>mine.fa").Stdout(console("open failed"))
          .Left("mine.fa", "mine\n"),
      Row("UsrctestBindMounted", "usrctest.fa a file mounted there").File("job/u.fa", "earlier\n")
          .File("usrctest.fa", "").Bind("job/u.fa", "usrctest.fa").Left("job/u.fa", unionFa),
      Row("UsrctestInUse", "usrctest.fa locked by a reader or a stopped run").File("usrctest.fa", "earlier\n")
          .Held("usrctest.fa").Stdout(console("is in use, not written")).Left("usrctest.fa", "earlier\n")
          .Left("pileup.txt", basic),
      Row("UsrctestPosixLocked", "usrctest.fa locked by lockf or FileChannel.lock").File("usrctest.fa", "earlier\n")
          .Held("usrctest.fa", F_SETLK).Stdout(console("is in use, not written")).Left("usrctest.fa", "earlier\n"),
      Row("UsrctestOfdLocked", "usrctest.fa under an OFD lock").File("usrctest.fa", "earlier\n")
          .Held("usrctest.fa", F_OFD_SETLK).Stdout(console("is in use, not written")).Left("usrctest.fa", "earlier\n"),
      Row("PileupPosixLocked", "the pileup locked by lockf").File("pileup.txt", "earlier\n").Held("pileup.txt", F_SETLK)
          .Status(1).Stderr("pileograph-txt: pileup.txt: is in use, not written\n").Left("pileup.txt", "earlier\n"),
      Row("PileupSwappedToContig", "the pileup made a link of the contig after the check").Swap("contig.fa")
          .Status(1).Stderr(refused("pileup.txt", "contig")).Left("contig.fa", contig),
      Row("PileupSwappedToReport", "the pileup made a link of the report after the check").Swap("report.cm")
          .Status(1).Stderr(refused("pileup.txt", "report")).Left("report.cm", report),
      Row("UsrctestLeased", "usrctest.fa leased by a reader").File("usrctest.fa", "earlier\n").Leased("usrctest.fa")
          .Stdout(console("is in use, not written")).Left("usrctest.fa", "earlier\n").Left("pileup.txt", basic),
      Row("PileupLeased", "the pileup leased by a reader").File("pileup.txt", "earlier\n").Leased("pileup.txt")
          .Status(1).Stderr("pileograph-txt: pileup.txt: is in use, not written\n").Left("pileup.txt", "earlier\n"),
      Row("UsrctestContigNoStatx", "contig ./usrctest.fa, statx refused for every file").File("usrctest.fa", contig)
          .Args({"./usrctest.fa", "report.cm", "pileup.txt"}).Fail("", "", "statx", "EPERM", "1+").Stdout(mergeInput)
          .Left("usrctest.fa", contig).Left("pileup.txt", basic),
      Row("UsrctestLinkToLongName", "usrctest.fa a link to a name of 250 characters")
          .File("usrctest.fa", "->" + longName).Left(longName, unionFa),
      Row("CloseFailsOnReadOnlyPileup", "close fails, the pileup read-only").Nobody().Wrap(kReadOnlyFiles)
          .Fail("pileup.txt", "", "close", "EIO", "1+").Status(1).Stderr("pileograph-txt: pileup.txt: Input/output error\n")
          .Left("pileup.txt", kAbsent),
  };
}

// gen_cm's data, made once, and its pileup of 600 kB (more than a pipe holds; empty: a run failed).
struct BigData {
  ScratchDir mDir;
  std::string mPileup = hostile::Generate(mDir.Path(), 20000, 40) && RunProgram(mDir).mStatus == 0
                            ? hostile::ReadFile(mDir / "pileup.txt") : "";
};
const BigData& Big() { static const BigData big; return big; }

using Surroundings = testing::TestWithParam<Row>;
TEST_P(Surroundings, Runs) {
  const Row& row = GetParam();
  if ((!row.mFailCalls.empty() || !row.mSwap.empty()) && hostile::Strace().empty()) {
    GTEST_SKIP() << "strace is not installed";
  }
  if (row.mWrap == kNoMemory && hostile::kSanitized) {
    GTEST_SKIP() << "a sanitizer reserves more address space than ulimit -v allows";
  }
  ASSERT_TRUE(!row.mBig || Big().mPileup.size() > 300000) << "gen_cm or its clean run failed";
  ScratchDir dir;
  for (const char* name : {"contig.fa", "report.cm"}) {
    hostile::WriteFile(dir / name, row.mBig ? hostile::ReadFile(Big().mDir / name) : Data(name));
  }
  if (row.mReadOnly) std::filesystem::create_directory(dir / "ro");
  if (!row.mIn.empty()) std::filesystem::create_directory(dir / row.mIn);
  Mounts mounts;
  if (row.mTmpfs) {
    if (mount("tmpfs", (dir / row.mIn).c_str(), "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounts.mPaths.push_back(dir / row.mIn);
  }
  if (row.mSticky) chmod(dir.Path().c_str(), 01777);
  for (const auto& [name, bytes] : row.mFiles) {
    std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
    std::remove((dir / name).c_str());
    if (bytes == kFifo) {
      ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
    } else if (bytes.rfind("~>", 0) == 0) {
      std::filesystem::create_symlink(bytes.substr(2), dir / name);
      std::ifstream rule("/proc/sys/fs/protected_symlinks");
      int on = 0;
      if (!(rule >> on) || on != 1) GTEST_SKIP() << "fs.protected_symlinks is not 1";
      if (lchown((dir / name).c_str(), 65534, 65534) != 0) GTEST_SKIP() << "cannot give a link to user 65534";
    } else if (bytes.rfind("->", 0) == 0) {
      std::filesystem::create_symlink(bytes.substr(2), dir / name);
    } else if (bytes.rfind("=>", 0) == 0) {
      ASSERT_EQ(link((dir / bytes.substr(2)).c_str(), (dir / name).c_str()), 0);
    } else if (bytes.rfind("z>", 0) == 0) {
      const std::vector<std::string> gzip = {"/bin/sh", "-c", "gzip -n -c \"$0\" >\"$1\"", bytes.substr(2), name};
      if (hostile::RunChild(gzip, dir.Path(), 10).mStatus != 0) GTEST_SKIP() << "gzip cannot run";
    } else {
      hostile::WriteFile(dir / name, bytes);
    }
  }
  if (!row.mBind.first.empty()) {
    if (mount((dir / row.mBind.first).c_str(), (dir / row.mBind.second).c_str(), nullptr, MS_BIND, nullptr) != 0) {
      GTEST_SKIP() << "cannot bind-mount a file here: " << std::strerror(errno);
    }
    mounts.mPaths.push_back(dir / row.mBind.second);
  }
  std::vector<std::string> args = {PILEOGRAPH_TXT};
  args.insert(args.end(), row.mArgs.begin(), row.mArgs.end());
  if (row.mReadOnly) {
    hostile::WriteFile(dir / "ro/pileup.txt", "");
    for (const auto& entry : std::filesystem::directory_iterator(dir / "ro")) chmod(entry.path().c_str(), 0666);
    chmod((dir / "ro").c_str(), 0555);
  }
  if (row.mNobody) {
    chmod(dir.Path().c_str(), 0777);  // usrctest.fa, written by nobody when run by root
    args = Unprivileged(args, dir.Path());
    if (args.empty()) {
      chmod((dir / "ro").c_str(), 0755);
      GTEST_SKIP() << "user 65534 cannot run " << PILEOGRAPH_TXT << " in " << dir.Path();
    }
  }
  if (row.mWrap == kReadOnlyFiles) args.insert(args.begin(), {"/bin/sh", "-c", "umask 222 && exec \"$0\" \"$@\""});
  if (!row.mIn.empty()) args.insert(args.begin(), {"/bin/sh", "-c", "cd " + row.mIn + " && exec \"$0\" \"$@\""});
  if (!row.mFailCalls.empty()) {
    const std::string file = row.mFail.empty() ? "" : dir / row.mFail;
    args = hostile::FailingCalls(file, row.mFailCalls, row.mFailError, row.mFailWhen, args, row.mAlso);
  }
  if (!row.mSwap.empty()) {  // the open waits 5 s; the swap comes once the merge is done
    args.insert(args.begin(), {"/bin/sh", "-c", "\"$0\" \"$@\" >progress & until grep -qs MergePads...done progress || "
                               "! kill -0 $! 2>/dev/null; do sleep 0.05; done; ln -f " + row.mSwap + " pileup.txt; "
                               "wait $!; s=$?; cat progress; rm progress; exit $s", "/usr/bin/env",
                               "ASAN_OPTIONS=detect_leaks=0", hostile::Strace(), "-o", "/dev/null", "-P", "pileup.txt",
                               "-e", "inject=openat:delay_enter=5000000"});
  }
  if (row.mWrap == kHead) args.insert(args.begin(), {"/bin/bash", "-c", "set -o pipefail; \"$0\" \"$@\" | head -c 5"});
  if (row.mWrap == kNoMemory) args.insert(args.begin(), {"/bin/bash", "-c", "ulimit -v 150000 && exec \"$0\" \"$@\""});
  int pipeEnds[2] = {-1, -1};
  if (row.mWrap == kClosedStdout) {
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
  }
  const pid_t reader = row.mWrap == kFifoReader ? fork() : -1;
  if (reader == 0) {  // reads a few bytes of the pileup and leaves
    char bytes[10];
    const int fd = open((dir / "pileup.txt").c_str(), O_RDONLY);
    _exit(fd >= 0 && read(fd, bytes, sizeof bytes) > 0 ? 0 : 1);
  }
  const int holder = row.mHeld.empty() ? -1 : open((dir / row.mHeld).c_str(), O_RDONLY | O_CLOEXEC);
  if (holder >= 0 && row.mLease) {
    signal(SIGIO, SIG_IGN);  // sent to the holder when a writer opens the file
    if (fcntl(holder, F_SETLEASE, F_RDLCK) != 0) {
      close(holder);
      GTEST_SKIP() << "cannot take a lease here: " << std::strerror(errno);
    }
  } else if (holder >= 0 && row.mLockKind != 0) {
    struct flock lock = {};
    lock.l_type = F_RDLCK;
    ASSERT_EQ(fcntl(holder, row.mLockKind, &lock), 0) << std::strerror(errno);
  } else if (holder >= 0) {
    ASSERT_EQ(flock(holder, LOCK_SH), 0);
  }
  // A loaded machine stretches the wall time: the wall limit only catches a run that waits.
  const ChildResult r = hostile::RunChild(args, dir.Path(), TimeLimit(120), pipeEnds[1]);
  if (holder >= 0) close(holder);
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  if (reader > 0) {
    kill(reader, SIGKILL);
    waitpid(reader, nullptr, 0);
  }
  if (row.mReadOnly) chmod((dir / "ro").c_str(), 0755);
  EXPECT_EQ(Hidden(dir.Path()) + Hidden(dir / (row.mIn.empty() ? "." : row.mIn)), "");
  EXPECT_FALSE(r.mTimedOut);
  EXPECT_LT(r.mCpuSeconds, TimeLimit(10));
  EXPECT_TRUE(!row.mLease || r.mSeconds < 30) << "waited " << r.mSeconds << " s for a lease to break";
  EXPECT_TRUE(r.mExited) << "killed by signal " << r.mSignal << "\n" << r.mStderr;
  EXPECT_EQ(r.mStatus, row.mStatus);
  EXPECT_EQ(r.mStdout, row.mStdout);
  EXPECT_EQ(r.mStderr, row.mStderr);
  for (const auto& [name, bytes] : row.mLeft) {
    struct stat st;
    const std::string kind = lstat((dir / name).c_str(), &st) != 0 ? kAbsent : S_ISFIFO(st.st_mode) ? kFifo : "<file>";
    if (bytes == kAbsent || bytes == kFifo) {
      EXPECT_EQ(kind, bytes) << name;
    } else {
      std::string want = bytes == kBigPileup || bytes == kFirstWrite ? Big().mPileup : bytes;
      if (bytes == kFirstWrite) want.resize(256 * 1024);  // the program's write buffer
      EXPECT_TRUE(hostile::ReadFile(dir / name) == want) << name << ": " << hostile::FileSize(dir / name) << " B";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(HostileProgram, Surroundings, testing::ValuesIn(SurroundingRows()),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.mId; });

}  // namespace
