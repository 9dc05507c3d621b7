// pileograph-txt on hostile input files: every run ends in time with the exit
// status and messages the program defines, its peak memory stays within a
// small multiple of what it reads and writes, and the pileup has its layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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
      {"empty report", contig, "", 0, "", "contig-alone.pileup"},
      {"both empty", "", "", 1, noRecord.c_str(), ""},
      {"NUL contig", nuls, report, 1, noRecord.c_str(), ""},
      {"NUL report", contig, nuls, 0, "", "contig-alone.pileup"},
      {"NUL line after the header", ">contig\n" + nuls + "\nACGT\n", "", 0, "", nullptr},
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
  ASSERT_NE(cleanPileup.find("read"), std::string::npos);

  const std::string partial = "Read contig..done.\nParse CM..done.\n";
  struct Case {
    const char* mFile;
    const char* mCalls;
    const char* mError;
    const char* mWhen;
    int mStatus;
    std::string mStdout;
    std::string mStderr;
  };
  const Case cases[] = {
      {"contig.fa", "read", "EIO", "1", 1, "Read contig..done.\n",
       "pileograph-txt: contig.fa: Input/output error\n"},
      {"contig.fa", "read", "EIO", "2", 1, "Read contig..done.\n",
       "pileograph-txt: contig.fa: Input/output error\n"},
      {"report.cm", "read", "EIO", "1", 1, partial, "pileograph-txt: report.cm: Input/output error\n"},
      {"report.cm", "read", "EIO", "2", 1, partial, "pileograph-txt: report.cm: Input/output error\n"},
      {"usrctest.fa", "write,writev", "ENOSPC", "1+", 0,
       partial + "Merging alignments...ConstructSource...usrctest.fa file write failed\n"
                 "Init With Queries ...MergePads...done.\n",
       ""},
      {"pileup.txt", "write,writev", "ENOSPC", "1+", 1, kConsole,
       "pileograph-txt: pileup.txt: No space left on device\n"},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.mCalls) + " " + c.mWhen + " of " + c.mFile;
    ScratchDir dir;
    prepare(dir);
    const ChildResult r = hostile::RunChild(hostile::FailingCalls(dir / c.mFile, c.mCalls, c.mError, c.mWhen, args),
                                            dir.Path(), TimeLimit(20));
    ExpectSound(dir, r, c.mStatus, what);
    EXPECT_EQ(r.mStdout, c.mStdout) << what;
    EXPECT_EQ(r.mStderr, c.mStderr) << what;
    if (c.mStatus == 0) {
      EXPECT_TRUE(hostile::ReadFile(dir / "pileup.txt") == cleanPileup) << what;
    } else {
      EXPECT_FALSE(hostile::Exists(dir / "pileup.txt")) << what;
    }
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

// Root may unlink in a read-only folder; `args` run as nobody when this
// process is root. Empty when that user cannot reach the program or `dir`.
std::vector<std::string> Unprivileged(const std::vector<std::string>& args, const std::string& dir) {
  if (geteuid() != 0) return args;
  const std::vector<std::string> drop = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  if (access(drop[0].c_str(), X_OK) != 0) return {};
  std::vector<std::string> probe = drop;
  probe.insert(probe.end(), {"/bin/sh", "-c", "test -x \"$0\" && test -r \"$1\"", PILEOGRAPH_TXT, dir + "/contig.fa"});
  if (hostile::RunChild(probe, dir, 10).mStatus != 0) return {};
  std::vector<std::string> run = drop;
  run.insert(run.end(), args.begin(), args.end());
  return run;
}

// Pipes without readers, a pileup that cannot be removed or has a second
// name, usrctest.fa that is an input, hits against another subject, and
// memory that runs out: exact console, status and the files left.
TEST(HostileProgram, AwkwardSurroundingsEndCleanly) {
  ScratchDir big;  // a pileup of 600 kB: more than a pipe or a write buffer holds
  ASSERT_TRUE(hostile::Generate(big.Path(), 20000, 40));
  const std::vector<std::string> plain = {PILEOGRAPH_TXT, "contig.fa", "report.cm", "pileup.txt"};
  ASSERT_EQ(hostile::RunChild(plain, big.Path(), TimeLimit(20)).mStatus, 0);
  const std::string bigPileup = hostile::ReadFile(big / "pileup.txt");
  ASSERT_GT(bigPileup.size(), 300000u);
  const std::string contig = Data("contig.fa");
  const std::string report = Data("report.cm");
  std::string oneOther = report;
  oneOther.replace(oneOther.find("(0)    contig "), 14, "(0)    contigX");
  const std::string noSpace = "pileograph-txt: ro/pileup.txt: No space left on device";
  const size_t firstWrite = 256 * 1024;  // the program's write buffer
  const std::string kFifo = "<fifo>";
  const std::string kAbsent = "<absent>";
  enum Wrap { kNone, kClosedStdout, kHead, kFifoReader, kNoMemory };
  struct Case {
    const char* mWhat;
    bool mBig;  // the generated data, else the small files
    // Written first: bytes, "<fifo>" a named pipe, "->x" a symbolic and "=>x" a hard link to x.
    std::vector<std::pair<std::string, std::string>> mFiles;
    std::vector<std::string> mArgs;
    Wrap mWrap;
    std::string mFail;  // file whose writes fail with ENOSPC from the second on; "" for none
    std::string mAlso;  // a second fault
    bool mReadOnly;     // pileup in the folder ro/, which the program cannot change
    int mStatus;
    std::string mStdout;
    std::string mStderr;
    std::vector<std::pair<std::string, std::string>> mLeft;  // file: bytes, "<fifo>" or "<absent>"
  };
  const std::string mergeInput = "Read contig..done.\nParse CM..done.\nMerging alignments...ConstructSource..."
                                 "usrctest.fa file is an input, not written\nInit With Queries ...MergePads...done.\n";
  const Case cases[] = {
      {"standard output a closed pipe", false, {}, plain, kClosedStdout, "", "", false, 0, "", "",
       {{"pileup.txt", Data("basic.pileup")}}},
      {"piped into head -c 5", true, {}, plain, kHead, "", "", false, 0, "Read ", "", {{"pileup.txt", bigPileup}}},
      {"pileup a FIFO whose reader leaves", true, {{"pileup.txt", kFifo}}, plain, kFifoReader, "", "", false, 1,
       kConsole, "pileograph-txt: pileup.txt: Broken pipe\n", {{"pileup.txt", kFifo}}},
      {"ENOSPC in a read-only folder", true, {}, {PILEOGRAPH_TXT, "contig.fa", "report.cm", "ro/pileup.txt"},
       kNone, "ro/pileup.txt", "", true, 1, kConsole, noSpace + " (left empty: it could not be removed)\n",
       {{"ro/pileup.txt", ""}}},
      {"ENOSPC in a read-only folder, ftruncate fails", true, {},
       {PILEOGRAPH_TXT, "contig.fa", "report.cm", "ro/pileup.txt"}, kNone, "ro/pileup.txt", "ftruncate:error=EIO",
       true, 1, kConsole, noSpace + " (the partial file remains)\n", {{"ro/pileup.txt", bigPileup.substr(0, firstWrite)}}},
      {"ENOSPC through one of two hard links", true, {{"pileup.txt", ""}, {"other.txt", "=>pileup.txt"}}, plain, kNone, "pileup.txt", "", false, 1, kConsole,
       "pileograph-txt: pileup.txt: No space left on device\n", {{"pileup.txt", kAbsent}, {"other.txt", ""}}},
      {"contig ./usrctest.fa", false, {{"usrctest.fa", contig}}, {PILEOGRAPH_TXT, "./usrctest.fa", "report.cm",
       "pileup.txt"}, kNone, "", "", false, 0, mergeInput, "",
       {{"usrctest.fa", contig}, {"pileup.txt", Data("basic.pileup")}}},
      {"usrctest.fa a link to the report", false, {{"usrctest.fa", "->report.cm"}}, plain, kNone, "", "", false, 0,
       mergeInput, "", {{"report.cm", report}, {"pileup.txt", Data("basic.pileup")}}},
      {"every hit against another contig", false, {{"contig.fa", ">contig2\nACGTACGTACG\n"}}, plain, kNone, "", "",
       false, 0, kConsole, "pileograph-txt: report.cm: 4 of 4 hits are against contig, not contig2\n",
       {{"pileup.txt", Data("basic.pileup")}}},
      {"one hit against another contig", false, {{"report.cm", oneOther}}, plain, kNone, "", "", false, 0, kConsole,
       "pileograph-txt: report.cm: 1 of 4 hits is against contigX, not contig\n",
       {{"pileup.txt", Data("basic.pileup")}}},
      {"memory runs out reading the contig", false, {}, {PILEOGRAPH_TXT, "/dev/zero", "report.cm", "pileup.txt"},
       kNoMemory, "", "", false, 1, "Read contig..", "pileograph-txt: /dev/zero: Cannot allocate memory\n",
       {{"pileup.txt", kAbsent}}},
      {"memory runs out reading the report", false, {{"pileup.txt", "earlier\n"}},
       {PILEOGRAPH_TXT, "contig.fa", "/dev/zero", "pileup.txt"}, kNoMemory, "", "", false, 1,
       "Read contig..done.\nParse CM..", "pileograph-txt: /dev/zero: Cannot allocate memory\n",
       {{"pileup.txt", "earlier\n"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mWhat);
    if (!c.mFail.empty() && hostile::Strace().empty()) {
      std::printf("skipped %s: strace is not installed\n", c.mWhat);
      continue;
    }
    if (c.mWrap == kNoMemory && hostile::kSanitized) {
      std::printf("skipped %s: a sanitizer reserves more address space than ulimit -v allows\n", c.mWhat);
      continue;
    }
    ScratchDir dir;
    for (const char* name : {"contig.fa", "report.cm"}) {
      hostile::WriteFile(dir / name, c.mBig ? hostile::ReadFile(big / name) : Data(name));
    }
    for (const auto& [name, bytes] : c.mFiles) {
      std::remove((dir / name).c_str());
      if (bytes == kFifo) {
        ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
      } else if (bytes.rfind("->", 0) == 0) {
        std::filesystem::create_symlink(bytes.substr(2), dir / name);
      } else if (bytes.rfind("=>", 0) == 0) {
        ASSERT_EQ(link((dir / bytes.substr(2)).c_str(), (dir / name).c_str()), 0);
      } else {
        hostile::WriteFile(dir / name, bytes);
      }
    }
    std::vector<std::string> args = c.mArgs;
    if (c.mReadOnly) {
      std::filesystem::create_directory(dir / "ro");
      hostile::WriteFile(dir / "ro/pileup.txt", "");
      chmod((dir / "ro/pileup.txt").c_str(), 0666);
      chmod((dir / "ro").c_str(), 0555);
      chmod(dir.Path().c_str(), 0777);  // usrctest.fa, written by nobody when run by root
      args = Unprivileged(args, dir.Path());
      if (args.empty()) {
        std::printf("skipped %s: user 65534 cannot run %s in %s\n", c.mWhat, PILEOGRAPH_TXT, dir.Path().c_str());
        chmod((dir / "ro").c_str(), 0755);
        continue;
      }
    }
    if (!c.mFail.empty()) {
      args = hostile::FailingCalls(dir / c.mFail, "write,writev", "ENOSPC", "2+", args, c.mAlso);
    }
    if (c.mWrap == kHead || c.mWrap == kNoMemory) {
      const std::string shell = c.mWrap == kHead ? "set -o pipefail; \"$0\" \"$@\" | head -c 5"
                                                 : "ulimit -v 400000 && exec \"$0\" \"$@\"";
      args.insert(args.begin(), {"/bin/bash", "-c", shell});
    }
    int pipeEnds[2] = {-1, -1};
    if (c.mWrap == kClosedStdout) {
      ASSERT_EQ(pipe(pipeEnds), 0);
      close(pipeEnds[0]);
    }
    pid_t reader = 0;
    if (c.mWrap == kFifoReader) {
      reader = fork();
      if (reader == 0) {  // reads a few bytes of the pileup and leaves
        char bytes[10];
        const int fd = open((dir / "pileup.txt").c_str(), O_RDONLY);
        _exit(fd >= 0 && read(fd, bytes, sizeof bytes) > 0 ? 0 : 1);
      }
    }
    const ChildResult r = hostile::RunChild(args, dir.Path(), TimeLimit(20), pipeEnds[1]);
    if (pipeEnds[1] >= 0) close(pipeEnds[1]);
    if (reader > 0) {
      kill(reader, SIGKILL);
      waitpid(reader, nullptr, 0);
    }
    if (c.mReadOnly) chmod((dir / "ro").c_str(), 0755);
    EXPECT_FALSE(r.mTimedOut);
    EXPECT_TRUE(r.mExited) << "killed by signal " << r.mSignal << "\n" << r.mStderr;
    EXPECT_EQ(r.mStatus, c.mStatus);
    EXPECT_EQ(r.mStdout, c.mStdout);
    EXPECT_EQ(r.mStderr, c.mStderr);
    for (const auto& [name, bytes] : c.mLeft) {
      struct stat st;
      const bool there = lstat((dir / name).c_str(), &st) == 0;
      if (bytes == kAbsent) {
        EXPECT_FALSE(there) << name;
      } else if (bytes == kFifo) {
        EXPECT_TRUE(there && S_ISFIFO(st.st_mode)) << name;
      } else {
        EXPECT_TRUE(hostile::ReadFile(dir / name) == bytes) << name << ": " << hostile::FileSize(dir / name) << " B";
      }
    }
  }
}

}  // namespace
