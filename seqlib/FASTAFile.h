// Reading and writing FASTA sequence files and quality files.
//
// Header rule: the name is the first word after '>', the description the rest
// after the one blank that ends it. Every reader drops a '\r' that ends a line.
// A file-name reader whose file fails while it is read answers as it does for
// a file that cannot be opened (the message says "read" for "open"); the
// writers say so when a file cannot be written whole.
#ifndef PILEOGRAPH_FASTAFILE_H
#define PILEOGRAPH_FASTAFILE_H

#include <istream>
#include <ostream>
#include <string>

#include "Sequence.h"
#include "SequenceQuality.h"

class LineReader;

class FASTAFile {
 public:
  int mReserveLength;  // characters (or values) reserved per record read
  int mBasesPerLine;   // bases per written line
  int mQualsPerLine;   // quality values per written line

  FASTAFile();

  // Sequence files. The readers return true when the list holds a record.
  bool Read(std::istream& in, SequenceVector& list);    // replaces the list
  bool Append(std::istream& in, SequenceVector& list);  // adds after the list
  bool Read(std::istream& in, Sequence& seq);           // first record
  bool Read(std::string name, SequenceVector& list);
  bool Read(std::string name, Sequence& seq);  // silent when the file cannot be opened
  // The same, with the errno of a failed open or read in `error` (else 0).
  bool Read(std::string name, Sequence& seq, int& error);
  bool Read(LineReader& lines, Sequence& seq, int& error);
  bool Read0(std::string name, SequenceVector& list);  // base letters only, whole header as description
  bool Read0(std::string name, Sequence& seq);
  // One record per call; `buf` carries the next header line, primed with '1'.
  bool GetNextRead(std::istream& in, char* buf, int bufsize, Sequence& seq);

  void Write(std::ostream& os, const SequenceVector& list);
  void Write(std::ostream& os, const Sequence& seq);
  void Write(std::string name, const SequenceVector& list);
  void Write(std::string name, const Sequence& seq);

  // Quality files.
  bool ReadQual(std::istream& in, SequenceQualityVector& list);
  bool ReadQual(std::string name, SequenceQualityVector& list);
  bool ReadQual(std::string name, SequenceQuality& qual);
  bool ReadQualX(std::istream& in, SequenceQualityVector& list);
  bool ReadQual0(std::string name, SequenceQualityVector& list);

  void WriteQual(std::ostream& os, const SequenceQuality& qual);
  void WriteQual(std::ostream& os, const SequenceQualityVector& list);
  void WriteQual(std::string name, const SequenceQualityVector& list);
  void WriteQual(std::string name, const SequenceQuality& qual);
};

#endif
