// The layout engine: merges the pads of every read's best hits into one
// padded union contig, re-pads the reads into its columns, prints the text
// pileup and answers window and column queries.
//
// Union columns are 0-based indexes into mUnionSource; contig coordinates are
// 1-based numbers of contig bases; a read index is a hit's position in
// mCM.mHits after filtering.
#ifndef PILEOGRAPH_PILEOGRAPH_H
#define PILEOGRAPH_PILEOGRAPH_H

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "CMParse.h"
#include "OutputFile.h"
#include "Sequence.h"
#include "SequenceQuality.h"

// One pad of one read.
struct padInfo {
  int mPadLoc;   // 0-based contig position of the base the pad follows; -1: before the first
  int mReadIdx;  // read index of the hit that holds the pad
};

// How reading an input file went: kNothingFound for a contig file without a
// record, or a report without a hit.
enum class InputRead { kRead, kOpenFailed, kReadFailed, kCompressed, kNothingFound };

// Why an input gave nothing, for the program's line on standard error after
// "pileograph-txt: PATH: "; "" for kRead.
std::string InputFailure(InputRead result, int error, bool report);
// The binding's line on standard output for an input that could not be
// read: "PATH file open failed", "... read failed" or "... is
// gzip-compressed, not read". Nothing otherwise.
void ReportInput(const std::string& path, InputRead result);

bool cmpByPadLoc(padInfo a, padInfo b);
bool cmpByReadIdx(padInfo a, padInfo b);

class Pileograph {
 public:
  CMParse mCM;                       // best hits of the report
  Sequence mSource;                  // the contig
  SequenceVector mAlignedReads;      // read side of each kept hit
  SequenceVector mMergedReads;       // each read re-padded into union columns
  SequenceQualityVector mBaseLocs;   // per alignment column: contig coordinate of its base
  std::vector<int> mOffsets;         // after merging: 1 + union column of the read's first character
  std::vector<int> mAdjustedOffsets; // kept for the binding; the engine never uses it
  Sequence mUnionSource;             // the union contig, named "UnionSource"

  Pileograph() = default;
  Pileograph(const Pileograph&) = delete;
  Pileograph& operator=(const Pileograph&) = delete;

  void ReadSource(const char* path);
  void ReadSource(std::string path);
  void ReadCM(const char* path);
  void ReadCM(std::string path);
  // ReadSource and ReadCM that say how reading went, with the errno of a
  // failed open or read in `error` (else 0). A gzip-compressed file is not
  // read.
  InputRead ReadSource(const std::string& path, int& error);
  InputRead ReadCM(const std::string& path, int& error);
  // Writes the union contig to "usrctest.fa" on the way.
  void MergeAlignments();

  void ConstructSourceWithUnionOfReadPads();
  void GetSortedPadLocs(CMParse& cm, std::vector<padInfo>& pads);
  int GetMaxPadIdx(int& idx, std::vector<padInfo>& pads);
  void InitWithQueries();
  void MergeReadPads();

  void WriteMerged();  // "usource.out" and "ureads.out"

  // Blocks of `width` columns from `start`; `end` is the last column that may
  // begin a block (negative: the last union column). Printing stops after
  // the block in which the stream fails. A path that cannot be opened, or
  // leads to a file the engine has read, gets nothing.
  void PrintAlignment(const char* path, int start, int end, int width);
  void PrintAlignment(std::ostream& os, int start, int end, int width);

  int SIdx2RIdx(int sidx, int r);  // union column -> index into merged read r
  int RIdx2SIdx(int ridx, int r);  // index into merged read r -> union column

  // Window queries: the window is columns start..end-1.
  int GetNumReadsInWindow(int start, int end);
  const char* GetWindowReadName(int start, int end, int n);
  std::string GetAlignedCharacters(int start, int end, int col);
  int GetNumReads();
  const char* GetReadName(int i);
  int GetSourceSize();
  char GetSourceBase(int i);

  // The regular files ReadSource and ReadCM have read.
  const InputFiles& ReadFiles() const { return mInputFiles; }

 private:
  // The side files are never written over a file read by ReadSource or
  // ReadCM; they are rewritten in place, by one run at a time, and a line
  // says why one was not.
  void WriteSideFile(const char* name, const std::function<void(std::ostream&)>& write);

  InputFiles mInputFiles;  // regular files read by this object
};

#endif
