#include "FASTAFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <utility>

#include "CLibraryAdditions.h"
#include "ParseUtils.h"

namespace {

constexpr size_t kListStep = 300;  // records added to a list at a time

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Reads the next line of `in` into `line`, reusing its storage. The line
// ends at its first NUL; a '\r' that ends it is dropped. False when nothing
// could be read: end of input, or a failed stream.
bool ReadLine(std::istream& in, std::string& line) {
  std::getline(in, line);
  if (in.fail()) return false;
  size_t n = line.size();
  if (n > 0 && line[n - 1] == '\r') --n;
  if (const void* nul = std::memchr(line.data(), '\0', n)) {
    n = static_cast<const char*>(nul) - line.data();
  }
  line.resize(n);
  return true;
}

// Header rule on the text after '>': skip leading blanks, the name runs to
// the next blank, the description is everything after that one blank.
void SplitHeader(const char* text, size_t n, std::string& name, std::string& description) {
  size_t b = 0;
  while (b < n && IsBlank(text[b])) ++b;
  size_t e = b;
  while (e < n && !IsBlank(text[e])) ++e;
  name.assign(text + b, e - b);
  if (e + 1 < n) {
    description.assign(text + e + 1, n - e - 1);
  } else {
    description.clear();
  }
}

// Gives back most of the room reserved ahead for a record that came out
// much shorter than its reservation.
template <typename T>
void FitToSize(std::vector<T>& v) {
  const size_t spare = v.capacity() - v.size();
  if (spare > 64 && spare > v.size() / 8) v.shrink_to_fit();
}

void Reserve(std::vector<char>& v, int n) {
  if (n > 0) v.reserve(static_cast<size_t>(n));
}

void Reserve(std::vector<int>& v, int n) {
  if (n > 0) v.reserve(static_cast<size_t>(n));
}

// Shared loop of Read and Append: record k is the current one (-1: none).
bool ReadRecords(std::istream& in, std::vector<Sequence>& list, long k, int reserve) {
  std::string line;
  while (ReadLine(in, line)) {
    const size_t n = line.size();
    if (n > 0 && line[0] == '>') {
      if (k >= 0) FitToSize(list[k].mSeq);
      ++k;
      if (static_cast<size_t>(k) == list.size()) list.resize(list.size() + kListStep);
      Sequence& rec = list[k];
      SplitHeader(line.data() + 1, n - 1, rec.mName, rec.mDescription);
      Reserve(rec.mSeq, reserve);
    } else if (k >= 0) {
      size_t len = n;
      if (len > 0 && (line[len - 1] == ' ' || line[len - 1] == '\t')) --len;
      std::vector<char>& seq = list[k].mSeq;
      seq.insert(seq.end(), line.data(), line.data() + len);
    }
    if (in.eof()) break;
  }
  if (k >= 0) FitToSize(list[k].mSeq);
  list.resize(static_cast<size_t>(k + 1));
  return !list.empty();
}

void WriteRecord(std::ostream& os, const Sequence& rec, int perLine) {
  const size_t width = perLine > 0 ? static_cast<size_t>(perLine) : 1;
  os << '>' << rec.mName << ' ' << rec.mDescription << '\n';
  const char* data = rec.mSeq.data();
  const size_t n = rec.mSeq.size();
  for (size_t i = 0; i < n; i += width) {
    os.write(data + i, static_cast<std::streamsize>(std::min(width, n - i)));
    os.put('\n');
  }
}

void WriteQualRecord(std::ostream& os, const SequenceQuality& rec, int perLine) {
  const size_t width = perLine > 0 ? static_cast<size_t>(perLine) : 1;
  os << '>' << rec.mName << ' ' << rec.mDescription << std::endl;
  const size_t n = rec.mQual.size();
  for (size_t i = 0; i < n; ++i) {
    os << rec.mQual[i];
    if ((i + 1) % width == 0) {
      os << std::endl;
    } else {
      os << ' ';
    }
  }
  if (n % width != 0) os << std::endl;
}

// Shared loop of the two ReadQual list readers; `blankWarns` picks the
// stream form's treatment of empty and blank lines.
bool ReadQualRecords(std::istream& in, std::vector<SequenceQuality>& list, int reserve,
                     bool blankWarns) {
  std::string line;
  long k = -1;
  while (ReadLine(in, line)) {
    const size_t n = line.size();
    if (n > 0 && line[0] == '>') {
      if (k >= 0) FitToSize(list[k].mQual);
      ++k;
      if (static_cast<size_t>(k) == list.size()) list.resize(list.size() + kListStep);
      SequenceQuality& rec = list[k];
      SplitHeader(line.data() + 1, n - 1, rec.mName, rec.mDescription);
      Reserve(rec.mQual, reserve);
    } else if (blankWarns && ContainsOnlyWS(line)) {
      std::cout << "Hey why is there white space here?" << std::endl;
    } else if (k >= 0) {
      GetIntsFromLine(&line[0], list[k].mQual);
    }
    if (in.eof()) break;
  }
  if (k >= 0) FitToSize(list[k].mQual);
  list.resize(static_cast<size_t>(k + 1));
  return !list.empty();
}

}  // namespace

FASTAFile::FASTAFile() : mReserveLength(5000), mBasesPerLine(50), mQualsPerLine(25) {}

bool FASTAFile::Read(std::istream& in, SequenceVector& list) {
  list.mSeqs.clear();
  list.mSeqs.resize(kListStep);
  return ReadRecords(in, list.mSeqs, -1, mReserveLength);
}

bool FASTAFile::Append(std::istream& in, SequenceVector& list) {
  const long last = static_cast<long>(list.mSeqs.size()) - 1;
  return ReadRecords(in, list.mSeqs, last, mReserveLength);
}

bool FASTAFile::Read(std::istream& in, Sequence& seq) {
  SequenceVector list;
  const bool ok = Read(in, list);
  if (!list.mSeqs.empty()) seq = std::move(list.mSeqs[0]);
  return ok;
}

bool FASTAFile::Read(std::string name, SequenceVector& list) {
  std::ifstream in(name);
  if (!in) {
    std::cout << name << " file open failed (Read Multiple FASTA)" << std::endl;
    return false;
  }
  return Read(in, list);
}

bool FASTAFile::Read(std::string name, Sequence& seq) {
  std::ifstream in(name);
  if (!in) return false;
  return Read(in, seq);
}

bool FASTAFile::Read0(std::string name, SequenceVector& list) {
  list.mSeqs.clear();
  std::ifstream in(name);
  if (!in) {
    std::cout << name << " file open failed (Read Multiple FASTA)" << std::endl;
    return false;
  }
  std::string line;
  Sequence* rec = nullptr;
  while (GetLine(in, line)) {
    if (!line.empty()) {
      if (line[0] == '>') {
        list.mSeqs.emplace_back();
        if (list.mSeqs.capacity() < 2000) list.mSeqs.reserve(2000);
        rec = &list.mSeqs.back();
        rec->mDescription.assign(line, 1, std::string::npos);
      } else if (rec != nullptr) {
        for (char c : line) {
          if (IsBase(c)) rec->mSeq.push_back(c);
        }
      }
    }
    if (in.eof()) break;
  }
  return true;
}

bool FASTAFile::Read0(std::string name, Sequence& seq) {
  SequenceVector list;
  const bool ok = Read0(std::move(name), list);
  if (!list.mSeqs.empty()) seq = std::move(list.mSeqs[0]);
  return ok;
}

bool FASTAFile::GetNextRead(std::istream& in, char* buf, int bufsize, Sequence& seq) {
  if (buf == nullptr || bufsize < 2 || !in.good()) return false;

  // Reads one line into buf. False when the stream failed short of its end
  // or, for a data line, the line holds a NUL after its first character.
  auto readLine = [&](bool nulFails) {
    in.getline(buf, bufsize);
    if (in.fail() && !in.eof()) return false;
    const size_t stored = static_cast<size_t>(in.gcount()) - (in.eof() ? 0 : 1);
    size_t len = std::strlen(buf);
    if (len > 0 && len < stored) return !nulFails;  // a header keeps what precedes its NUL
    if (len > 0 && buf[len - 1] == '\r') buf[--len] = '\0';
    return true;
  };

  seq.mSeq.clear();
  if (buf[0] == '1') {
    if (!readLine(false)) return false;
    if (in.gcount() == 0 && in.eof()) return false;  // nothing left to read
  }
  const size_t headerLen = std::strlen(buf);
  const char* text = headerLen > 0 ? buf + 1 : buf;
  SplitHeader(text, headerLen > 0 ? headerLen - 1 : 0, seq.mName, seq.mDescription);

  for (;;) {
    if (!readLine(true)) return false;
    if (buf[0] != '>') {
      size_t len = std::strlen(buf);
      while (len > 0 && (buf[len - 1] == ' ' || buf[len - 1] == '\t')) --len;
      seq.mSeq.insert(seq.mSeq.end(), buf, buf + len);
    }
    if (in.eof() || buf[0] == '>') return true;
  }
}

void FASTAFile::Write(std::ostream& os, const SequenceVector& list) {
  for (const Sequence& rec : list.mSeqs) WriteRecord(os, rec, mBasesPerLine);
}

void FASTAFile::Write(std::ostream& os, const Sequence& seq) { WriteRecord(os, seq, mBasesPerLine); }

void FASTAFile::Write(std::string name, const SequenceVector& list) {
  std::ofstream os(name);
  if (!os) {
    std::cout << name << " file open failed" << std::endl;
    return;
  }
  Write(os, list);
}

void FASTAFile::Write(std::string name, const Sequence& seq) {
  std::ofstream os(name);
  if (!os) {
    std::cout << name << " file open failed" << std::endl;
    return;
  }
  Write(os, seq);
}

bool FASTAFile::ReadQual(std::istream& in, SequenceQualityVector& list) {
  list.mQuals.clear();
  list.mQuals.resize(kListStep);
  return ReadQualRecords(in, list.mQuals, mReserveLength, true);
}

bool FASTAFile::ReadQual(std::string name, SequenceQualityVector& list) {
  list.mQuals.clear();
  list.mQuals.resize(kListStep);
  std::ifstream in(name);
  if (!in) {
    std::cout << name << " file open failed (Read Multiple FASTA)" << std::endl;
    return false;
  }
  return ReadQualRecords(in, list.mQuals, mReserveLength, false);
}

bool FASTAFile::ReadQual(std::string name, SequenceQuality& qual) {
  SequenceQualityVector list;
  const bool ok = ReadQual(std::move(name), list);
  if (!list.mQuals.empty()) qual = std::move(list.mQuals[0]);
  return ok;
}

bool FASTAFile::ReadQualX(std::istream& in, SequenceQualityVector& list) {
  list.mQuals.clear();
  SequenceQuality header;  // never holds values
  std::string line;
  while (GetLine(in, line)) {
    if (!line.empty()) {
      if (line[0] == '>') {
        SplitHeader(line.data() + 1, line.size() - 1, header.mName, header.mDescription);
        list.mQuals.push_back(header);
      } else if (!list.mQuals.empty()) {
        GetIntsFromLine(line, list.mQuals.back().mQual);
      }
    }
    if (in.eof()) break;
  }
  return true;
}

bool FASTAFile::ReadQual0(std::string name, SequenceQualityVector& list) {
  list.mQuals.clear();
  std::ifstream in(name);
  if (!in) {
    std::cout << name << " file open failed" << std::endl;
    return false;
  }
  std::string line;
  while (GetLine(in, line)) {
    if (!line.empty()) {
      if (line[0] == '>') {
        list.mQuals.emplace_back();
        list.mQuals.back().mDescription.assign(line, 1, std::string::npos);
      } else if (!list.mQuals.empty()) {
        GetIntsFromLine(line, list.mQuals.back().mQual);
      }
    }
    if (in.eof()) break;
  }
  return true;
}

void FASTAFile::WriteQual(std::ostream& os, const SequenceQuality& qual) {
  WriteQualRecord(os, qual, mQualsPerLine);
}

void FASTAFile::WriteQual(std::ostream& os, const SequenceQualityVector& list) {
  for (const SequenceQuality& rec : list.mQuals) WriteQualRecord(os, rec, mQualsPerLine);
}

void FASTAFile::WriteQual(std::string name, const SequenceQualityVector& list) {
  std::ofstream os(name);
  if (!os) {
    std::cout << name << " file open failed" << std::endl;
    return;
  }
  WriteQual(os, list);
}

void FASTAFile::WriteQual(std::string name, const SequenceQuality& qual) {
  std::ofstream os(name);
  if (!os) {
    std::cout << name << " file open failed" << std::endl;
    return;
  }
  WriteQual(os, qual);
}
