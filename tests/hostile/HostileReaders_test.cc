// The library's readers on hostile files: every FASTA, quality and report
// reader runs in a child process on each file, ends in time, stays within a
// small multiple of the file's size and gives the results it defines.
#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "CMParse.h"
#include "FASTAFile.h"
#include "HostileSupport.h"
#include "ParseUtils.h"
#include "TestSupport.h"

namespace {

using hostile::ScratchDir;

struct ChildRun {
  bool mOk = false;  // ended by itself, status 0
  long mPeakRssKb = 0;
  long mBaseRssKb = 0;  // this process's resident memory at the fork
  double mSeconds = 0;
  std::string mReport;  // what the child wrote
};

long ResidentKb() {
  long pages = 0;
  long resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs `body` in a forked child; what it returns comes back in mReport.
ChildRun RunInChild(const ScratchDir& dir, const std::function<std::string()>& body, double seconds) {
  ChildRun run;
  const std::string path = dir / ".child-report";
  malloc_trim(0);
  run.mBaseRssKb = ResidentKb();
  const auto begin = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    // Messages of the readers stay out of the test's output.
    std::ostringstream console;
    std::cout.rdbuf(console.rdbuf());
    std::string report = body();
    hostile::WriteFile(path, report);
    _exit(0);
  }
  if (pid < 0) return run;
  int status = 0;
  struct rusage usage {};
  const double limit = hostile::kSanitized ? 6 * seconds : seconds;
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0 || std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() > limit) {
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      status = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.mSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  run.mOk = status == 0;
  run.mPeakRssKb = usage.ru_maxrss;
  run.mReport = hostile::ReadFile(path);
  return run;
}

// 64-bit FNV-1a over a text, for contents too large to print.
unsigned long long Hash(const std::string& text) {
  unsigned long long h = 1469598103934665603ULL;
  for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return h;
}

// Records as "name|description|characters" lines, or their count, size and
// hash when they are large.
std::string Describe(const std::vector<Sequence>& seqs) {
  std::string all;
  for (const Sequence& s : seqs) {
    all += s.mName + "|" + s.mDescription + "|" + std::string(s.mSeq.begin(), s.mSeq.end()) + "\n";
  }
  if (all.size() <= 200) return std::to_string(seqs.size()) + "\n" + all;
  return std::to_string(seqs.size()) + " records, " + std::to_string(all.size()) + " bytes, hash " +
         std::to_string(Hash(all)) + "\n";
}

std::string Describe(const std::vector<SequenceQuality>& quals) {
  std::string all;
  for (const SequenceQuality& q : quals) {
    all += q.mName + "|" + q.mDescription + "|";
    for (int v : q.mQual) all += std::to_string(v) + " ";
    all += "\n";
  }
  if (all.size() <= 200) return std::to_string(quals.size()) + "\n" + all;
  return std::to_string(quals.size()) + " records, " + std::to_string(all.size()) + " bytes, hash " +
         std::to_string(Hash(all)) + "\n";
}

std::string Describe(const std::vector<CMHit>& hits) {
  std::string all;
  for (const CMHit& h : hits) {
    all += h.mVName + " " + std::to_string(h.mScore) + " " + std::to_string(h.mQueryStart) + " " +
           std::to_string(h.mQueryEnd) + " " + (h.mIsReverse ? "C " : "") + h.mSourceName + " " +
           std::to_string(h.mSourceStart) + " " + std::to_string(h.mSourceEnd) + " " +
           std::string(h.mQueryAligned.mSeq.begin(), h.mQueryAligned.mSeq.end()) + "/" +
           std::string(h.mSourceAligned.mSeq.begin(), h.mSourceAligned.mSeq.end()) + "\n";
  }
  if (all.size() <= 300) return std::to_string(hits.size()) + "\n" + all;
  return std::to_string(hits.size()) + " hits, " + std::to_string(all.size()) + " bytes, hash " +
         std::to_string(Hash(all)) + "\n";
}

// Every reader of sequence files on the file at `path`; GetNextRead, whose
// answers on such files are its own choice, only when asked for.
std::string ReadSequences(const std::string& path, bool getNextRead) {
  std::ostringstream out;
  FASTAFile fasta;
  {
    std::ifstream in(path, std::ios::binary);
    SequenceVector list;
    const bool ok = fasta.Read(in, list);
    out << "Read " << ok << " " << Describe(list.mSeqs);
  }
  {
    SequenceVector list;
    list.mSeqs.resize(1);
    list.mSeqs[0].mName = "old";
    std::ifstream in(path, std::ios::binary);
    const bool ok = fasta.Append(in, list);
    out << "Append " << ok << " " << list.mSeqs.size() << "\n";
  }
  {
    SequenceVector list;
    const bool ok = fasta.Read0(path, list);
    out << "Read0 " << ok << " " << Describe(list.mSeqs);
  }
  if (getNextRead) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buf(4900);
    buf[0] = '1';
    Sequence seq;
    std::vector<Sequence> got;
    bool ok = true;
    while (in && ok && got.size() < 1000000) {
      ok = fasta.GetNextRead(in, buf.data(), static_cast<int>(buf.size()), seq);
      if (ok) got.push_back(seq);
    }
    out << "GetNextRead " << ok << " " << Describe(got);
  }
  return out.str();
}

// Every reader of quality files on the file at `path`.
std::string QualityReaders(const std::string& path) {
  std::ostringstream out;
  FASTAFile fasta;
  {
    std::ifstream in(path, std::ios::binary);
    SequenceQualityVector list;
    const bool ok = fasta.ReadQual(in, list);
    out << "ReadQual(stream) " << ok << " " << Describe(list.mQuals);
  }
  {
    SequenceQualityVector list;
    const bool ok = fasta.ReadQual(path, list);
    out << "ReadQual(file) " << ok << " " << Describe(list.mQuals);
  }
  {
    std::ifstream in(path, std::ios::binary);
    SequenceQualityVector list;
    const bool ok = fasta.ReadQualX(in, list);
    out << "ReadQualX " << ok << " " << Describe(list.mQuals);
  }
  {
    SequenceQualityVector list;
    const bool ok = fasta.ReadQual0(path, list);
    out << "ReadQual0 " << ok << " " << Describe(list.mQuals);
  }
  return out.str();
}

// The report parser, the filter and the line search on the file at `path`.
std::string ReportReaders(const std::string& path) {
  std::ostringstream out;
  CMParse cm;
  cm.Parse(path);
  out << "Parse " << Describe(cm.mHits);
  cm.NormalizeToAlignment();
  cm.RemoveAllButBestMatches();
  out << "kept " << cm.mHits.size() << "\n";
  std::ifstream in(path, std::ios::binary);
  std::string line;
  size_t found = 0;
  while (GetNextLineContaining(in, "Transitions", line) && found < 1000000) ++found;
  out << "lines with Transitions " << found << "\n";
  return out.str();
}

// The parser's file and stream forms, each reading the whole input.
std::string ParseBothForms(const std::string& path) {
  CMParse byName;
  byName.Parse(path);
  CMParse byStream;
  std::ifstream in(path, std::ios::binary);
  byStream.Parse(in);
  return "file " + Describe(byName.mHits) + "stream " + Describe(byStream.mHits) +
         "stream at its end " + std::to_string(in.eof()) + "\n";
}

std::string SequenceReaders(const std::string& path) { return ReadSequences(path, true); }

std::string AllReaders(const std::string& path) {
  return SequenceReaders(path) + QualityReaders(path) + ReportReaders(path);
}

std::string DefinedReaders(const std::string& path) {
  return ReadSequences(path, false) + QualityReaders(path) + ReportReaders(path);
}

struct FileCase {
  const char* mWhat;
  std::string mBytes;
  std::function<std::string(const std::string&)> mReaders;
  std::string mExpected;  // empty: only time and memory are checked
  double mSeconds;
};

// Runs the readers of each case in a child and checks time, memory and result.
void RunCases(const std::vector<FileCase>& cases) {
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.mWhat);
    ScratchDir dir;
    const std::string path = dir / "input";
    hostile::WriteFile(path, c.mBytes);
    const long long size = static_cast<long long>(c.mBytes.size());
    const ChildRun run = RunInChild(dir, [&] { return c.mReaders(path); }, c.mSeconds);
    ASSERT_TRUE(run.mOk) << "crashed or took over the time limit (" << run.mSeconds << " s)";
    // Several readers hold the file's records at once; each read is small.
    long long bound = (64LL << 10) + 12 * size / 1024;
    if (hostile::kSanitized) bound = 2 * bound + (384LL << 10);
    EXPECT_LE(run.mPeakRssKb - run.mBaseRssKb, bound) << "file of " << size << " B";
    if (std::getenv("HOSTILE_VERBOSE") != nullptr) {
      std::printf("%-34s %6.2f s  own peak %7ld kB  bound %7lld kB  size %9lld B\n", c.mWhat, run.mSeconds,
                  run.mPeakRssKb - run.mBaseRssKb, bound, size);
      if (std::getenv("HOSTILE_VERBOSE")[0] == '2') std::printf("%s", run.mReport.c_str());
    }
    if (!c.mExpected.empty()) {
      EXPECT_EQ(run.mReport, c.mExpected);
    }
  }
}

const std::string kFasta = ">r1 first read\nACGT\nAC-GT*\n\n>r2\n>r3  two  blanks \nNNNN \n";
const std::string kQual = ">q1 x\n10 20  30\n40\n>q2\n\n7\n";
const std::string kReport = hostile::ReadFile(std::string(TEST_DATA_DIR) + "/report.cm");

TEST(HostileReaders, EmptyAndNulFilesGiveNoRecord) {
  const std::string none =
      "Read 0 0\nAppend 1 1\nRead0 1 0\n"
      "ReadQual(stream) 0 0\nReadQual(file) 0 0\nReadQualX 1 0\nReadQual0 1 0\n"
      "Parse 0\nkept 0\nlines with Transitions 0\n";
  const std::string nulLines = std::string(3, '\0') + "\n" + std::string(100, '\0') + "\n";
  // A NUL ends the text of its line.
  const std::string nulInside(">a\0b c\nAC\0GT\n", 14);
  RunCases({
      {"empty file", "", DefinedReaders, none, 5},
      {"NUL bytes", std::string(65536, '\0'), DefinedReaders, none, 5},
      {"NUL lines", nulLines, DefinedReaders, none, 5},
      {"NUL inside lines", nulInside, [](const std::string& p) { return ReadSequences(p, false); },
       "Read 1 1\na||AC\nAppend 1 2\nRead0 1 1\n|a|AC\n", 5},
      {"NUL bytes, GetNextRead", std::string(65536, '\0'), SequenceReaders, "", 5},
      {"NUL lines, GetNextRead", nulLines, SequenceReaders, "", 5},
      {"NUL inside lines, GetNextRead", nulInside, SequenceReaders,
       "Read 1 1\na||AC\nAppend 1 2\nRead0 1 1\n|a|AC\nGetNextRead 0 0\n", 5},
      {"binary garbage", hostile::Garbage(1 << 20, 3), AllReaders, "", 20},
  });
}

// A file with CR LF line ends reads exactly like its LF twin.
TEST(HostileReaders, CRLFFilesReadLikeTheirLFTwins) {
  const auto twin = [](const std::string& lf, std::function<std::string(const std::string&)> readers) {
    ScratchDir dir;
    const std::string path = dir / "lf";
    hostile::WriteFile(path, lf);
    std::ostringstream console;
    std::streambuf* saved = std::cout.rdbuf(console.rdbuf());
    std::string result = readers(path);
    std::cout.rdbuf(saved);
    return result;
  };
  RunCases({
      {"FASTA CR LF", Crlf(kFasta), SequenceReaders, twin(kFasta, SequenceReaders), 5},
      {"quality CR LF", Crlf(kQual), QualityReaders, twin(kQual, QualityReaders), 5},
      {"report CR LF", Crlf(kReport), ReportReaders, twin(kReport, ReportReaders), 5},
  });
  // And the LF twins themselves read as the formats define.
  EXPECT_EQ(twin(kReport, ReportReaders),
            "Parse 4\n"
            "readA 66 0 10 contig 0 10 ACGTACGTACG/ACGTACGTACG\n"
            "read0 35 0 6 contig 1 6 CGATACG/CG-TACG\n"
            "read1 30 0 7 contig 2 7 GCCTACGT/G--TACGT\n"
            "read2 35 0 6 contig 5 10 CGTAACG/CGTA-CG\n"
            "kept 4\nlines with Transitions 4\n");
}

// Lines longer than the shared line buffer, and a contig of several megabytes
// on one line: every reader but GetLine's own users reads any line whole, and
// the records and hits after it.
TEST(HostileReaders, OverlongLines) {
  const std::string longBases(400000, 'A');
  std::string values;
  for (int i = 0; i < 100000; ++i) values += "20 ";
  const std::string fiveMb(5000000, 'C');
  std::string values120k;  // 340 kB
  for (int i = 0; i < 120000; ++i) values120k += std::to_string(i % 100) + " ";
  const std::string junk = "Note " + std::string(300000, 'x') + "\n";
  const std::string withJunk = kReport.substr(0, kReport.find("   35")) + junk + kReport.substr(kReport.find("   35"));
  const std::string reportPath = std::string(TEST_DATA_DIR) + "/report.cm";
  RunCases({
      {"400k-base line", ">c\n" + longBases + "\n>d\nAC\n",
       [](const std::string& p) {
         std::ostringstream out;
         FASTAFile fasta;
         SequenceVector list;
         std::ifstream in(p, std::ios::binary);
         const bool ok = fasta.Read(in, list);
         out << ok << " " << list.mSeqs.size() << " " << list.mSeqs[0].mSeq.size() << " "
             << std::string(list.mSeqs[1].mSeq.begin(), list.mSeqs[1].mSeq.end()) << "\n";
         return out.str();
       },
       "1 2 400000 AC\n", 10},
      {"400k-base line, all readers", ">c\n" + longBases + "\n>d\nAC\n", AllReaders, "", 10},
      {"300k-value line", ">q\n" + values + "\n>r\n5\n",
       [](const std::string& p) {
         std::ostringstream out;
         FASTAFile fasta;
         SequenceQualityVector list;
         std::ifstream in(p, std::ios::binary);
         const bool ok = fasta.ReadQual(in, list);
         out << ok << " " << list.mQuals.size() << " " << list.mQuals[0].mQual.size() << " "
             << list.mQuals[1].mQual.size() << "\n";
         return out.str();
       },
       "1 2 100000 1\n", 10},
      {"300k-value line, all readers", ">q\n" + values + "\n>r\n5\n", AllReaders, "", 10},
      {"5 MB contig line", ">big one line\n" + fiveMb + "\n",
       [](const std::string& p) {
         FASTAFile fasta;
         Sequence seq;
         const bool ok = fasta.Read(p, seq);
         return std::to_string(ok) + " " + seq.mName + " " + std::to_string(seq.mSeq.size()) + "\n";
       },
       "1 big 5000000\n", 10},
      {"5 MB contig line, all readers", ">big one line\n" + fiveMb + "\n", AllReaders, "", 30},
      {"1M-base line, Read0", ">c\n" + std::string(1000000, 'g') + "\n>d\nAC\n",
       [](const std::string& p) {
         FASTAFile fasta;
         SequenceVector list;
         const bool ok = fasta.Read0(p, list);
         return std::to_string(ok) + " " + Describe(list.mSeqs);
       },
       "1 " + Describe(std::vector<Sequence>{MakeSequence(std::string(1000000, 'g'), "", "c"),
                                             MakeSequence("AC", "", "d")}),
       10},
      {"120k-value line, ReadQualX and ReadQual0", ">q\n" + values120k + "\n>r\n5\n",
       [](const std::string& p) {
         std::ostringstream out;
         FASTAFile fasta;
         SequenceQualityVector x;
         std::ifstream in(p, std::ios::binary);
         out << fasta.ReadQualX(in, x) << " " << in.eof() << " ";
         SequenceQualityVector zero;
         out << fasta.ReadQual0(p, zero) << "\n";
         for (const auto* list : {&x, &zero}) {
           for (const SequenceQuality& q : list->mQuals) {
             out << q.mName << "|" << q.mDescription << "|" << q.mQual.size() << "|" << q.mQual.back() << "\n";
           }
         }
         return out.str();
       },
       "1 1 1\nq||120000|99\nr||1|5\n|q|120000|99\n|r|1|5\n", 10},
      {"300k junk line between hits, the parser", withJunk, ParseBothForms, ParseBothForms(reportPath), 10},
      {"300k junk line first, the parser", junk + kReport, ParseBothForms, ParseBothForms(reportPath), 10},
  });
}

// Huge names and a huge number of hits of one read.
TEST(HostileReaders, HugeNamesAndManyHits) {
  const std::string name(100000, 'n');
  std::string tied;
  const std::string hit = "9 0 0 0 r 1 4 (0) contig 1 4 (7)\n\nr 1 ACGT 4\n\ncontig 1 ACGT 4\n\nTransitions\n";
  for (int i = 0; i < 100000; ++i) tied += hit;
  RunCases({
      {"100k-character names", ">" + name + " d\nACGT\n",
       [](const std::string& p) {
         FASTAFile fasta;
         SequenceVector list;
         std::ifstream in(p, std::ios::binary);
         fasta.Read(in, list);
         return std::to_string(list.mSeqs.size()) + " " + std::to_string(list.mSeqs[0].mName.size()) + "\n";
       },
       "1 100000\n", 5},
      {"100k-character read name in a report",
       "1 0 0 0 " + name + " 1 4 (0) contig 1 4 (7)\n\n" + name + " 1 ACGT 4\n\ncontig 1 ACGT 4\n",
       [](const std::string& p) {
         CMParse cm;
         cm.Parse(p);
         return std::to_string(cm.mHits.size()) + " " + std::to_string(cm.mHits[0].mVName.size()) + " " +
                std::to_string(cm.mHits[0].mQueryAligned.mName.size()) + "\n";
       },
       "1 100000 100000\n", 5},
      {"100000 tied hits", tied,
       [](const std::string& p) {
         CMParse cm;
         cm.Parse(p);
         const size_t parsed = cm.mHits.size();
         cm.NormalizeToAlignment();
         cm.RemoveAllButBestMatches();
         return std::to_string(parsed) + " " + std::to_string(cm.mHits.size()) + "\n";
       },
       "100000 100000\n", 30},
  });
}

// Positions at the ends of the int range: the lowest stays the lowest instead
// of overflowing when made 0-based; text beyond the range narrows as atoi does.
TEST(HostileReaders, ExtremePositions) {
  RunCases({
      {"positions -2147483648",
       "1 0 0 0 r -2147483648 -2147483648 (0) c -2147483648 -2147483648 (0)\n\nTransitions\n"
       "9 0 0 0 s 1 2 (0) C c (0) -2147483648 2147483647\n\nTransitions\n",
       ReportReaders,
       "Parse 2\n"
       "r 1 -2147483648 -2147483648 c -2147483648 -2147483648 /\n"
       "s 9 0 1 C c -2147483648 2147483646 /\n"
       "kept 2\nlines with Transitions 2\n",
       5},
  });
}

// Every file-name reader, its file failing at the second read (mid-file),
// answers as for a file that cannot be opened.
TEST(HostileReaders, FailedReadsAreFailures) {
  if (hostile::Strace().empty()) GTEST_SKIP() << "strace is not installed";
  ScratchDir dir;  // files of over 300 kB
  ASSERT_TRUE(hostile::Generate(dir.Path(), 300000, 100));
  std::string qual;
  for (int i = 0; i < 4000; ++i) qual += ">q" + std::to_string(i) + "\n" + std::string(80, '9') + "\n";
  hostile::WriteFile(dir / "in.qual", qual);
  const std::string fa = dir / "contig.fa";
  const std::string qu = dir / "in.qual";
  const struct {
    const char* mReader;
    std::string mFile;
    std::string mFailed;  // output when the second read fails
  } cases[] = {
      {"Read(list)", fa, fa + " file read failed (Read Multiple FASTA)\nRead(list) 0 1 keep\n"},
      {"Read(record)", fa, "Read(record) 0 keep Input/output error\n"},
      {"Read0(list)", fa, fa + " file read failed (Read Multiple FASTA)\nRead0(list) 0 0\n"},
      {"Read0(record)", fa, fa + " file read failed (Read Multiple FASTA)\nRead0(record) 0 keep\n"},
      {"ReadQual(list)", qu, qu + " file read failed (Read Multiple FASTA)\nReadQual(list) 0 300\n"},
      {"ReadQual(record)", qu, qu + " file read failed (Read Multiple FASTA)\nReadQual(record) 0 ''\n"},
      {"ReadQual0", qu, qu + " file read failed\nReadQual0 0 0\n"},
      {"Parse", dir / "report.cm", "Parse 0 0 Input/output error\n"},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> probe = {READER_PROBE, c.mReader, c.mFile};
    const hostile::ChildResult whole = hostile::RunChild(probe, dir.Path(), 20);
    EXPECT_EQ(whole.mStdout.rfind(std::string(c.mReader) + " 1 ", 0), 0u) << whole.mStdout;
    const hostile::ChildResult failed =
        hostile::RunChild(hostile::FailingCalls(c.mFile, "read", "EIO", "2", probe), dir.Path(), 20);
    EXPECT_EQ(failed.mStdout, c.mFailed) << failed.mStderr;
  }
}

}  // namespace
