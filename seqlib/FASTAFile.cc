#include "FASTAFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <utility>

#include "CLibraryAdditions.h"
#include "ParseUtils.h"

namespace {

constexpr size_t kListStep = 300;          // records added to a list at a time
constexpr size_t kPendingLimit = 1 << 24;  // sequence bytes held back before storing

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

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

// Gives back room that a vector grown piece by piece holds beyond its size.
template <typename T>
void FitToSize(std::vector<T>& v) {
  const size_t spare = v.capacity() - v.size();
  if (spare > 64 && spare > v.size() / 8) v.shrink_to_fit();
}

// Shared loop of Read and Append: record k is the current one (-1: none).
// A record's sequence lines gather in a reused buffer and go to its mSeq in
// one piece, so mSeq is allocated once at its exact size; very long records
// are stored in pieces of kPendingLimit.
bool ReadRecords(LineReader& lines, std::vector<Sequence>& list, long k) {
  // Sequence text of the current record: pending[0, held). The vector only
  // grows, so appending a line is a bounds check and a memcpy.
  std::vector<char> pending;
  size_t held = 0;
  auto store = [&]() {
    if (k >= 0 && held > 0) {
      std::vector<char>& seq = list[k].mSeq;
      seq.insert(seq.end(), pending.data(), pending.data() + held);
    }
    held = 0;
  };
  char* line = nullptr;
  size_t n = 0;
  while (!lines.Ended() && lines.Next(line, n)) {
    if (n > 0 && line[0] == '>') {
      if (k >= 0) {
        store();
        FitToSize(list[k].mSeq);
      }
      ++k;
      if (static_cast<size_t>(k) == list.size()) list.resize(list.size() + kListStep);
      Sequence& rec = list[k];
      SplitHeader(line + 1, n - 1, rec.mName, rec.mDescription);
    } else if (k >= 0) {
      if (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t')) --n;
      if (n > 0) {
        if (held + n > pending.size()) pending.resize(std::max(held + n, 2 * pending.size()));
        std::memcpy(pending.data() + held, line, n);
        held += n;
        if (held >= kPendingLimit) store();
      }
    }
  }
  if (k >= 0) {
    store();
    FitToSize(list[k].mSeq);
  }
  list.resize(static_cast<size_t>(k + 1));
  return !list.empty();
}

// Writes through a local block so that the stream sees a few large writes.
class BlockWriter {
 public:
  explicit BlockWriter(std::ostream& os) : mOs(os) { mBlock.reserve(kBlock + 256); }
  ~BlockWriter() { Drain(); }
  void Put(char c) { mBlock.push_back(c); }
  void Put(const char* p, size_t n) {
    if (mBlock.size() + n > kBlock) Drain();
    if (n >= kBlock) {
      mOs.write(p, static_cast<std::streamsize>(n));
    } else {
      mBlock.append(p, n);
    }
  }
  void Put(const std::string& s) { Put(s.data(), s.size()); }
  void Drain() {
    if (!mBlock.empty()) mOs.write(mBlock.data(), static_cast<std::streamsize>(mBlock.size()));
    mBlock.clear();
  }

 private:
  static constexpr size_t kBlock = 1 << 16;
  std::ostream& mOs;
  std::string mBlock;
};

void WriteRecord(BlockWriter& out, const Sequence& rec, int perLine) {
  const size_t width = perLine > 0 ? static_cast<size_t>(perLine) : 1;
  out.Put('>');
  out.Put(rec.mName);
  out.Put(' ');
  out.Put(rec.mDescription);
  out.Put('\n');
  const char* data = rec.mSeq.data();
  const size_t n = rec.mSeq.size();
  for (size_t i = 0; i < n; i += width) {
    out.Put(data + i, std::min(width, n - i));
    out.Put('\n');
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

// Opens `name` for writing and hands the stream to `write`; says so when the
// file cannot be opened, or written and closed whole.
template <typename Writer>
void WriteToFile(const std::string& name, Writer write) {
  std::ofstream os(name);
  if (!os) {
    std::cout << name << " file open failed" << std::endl;
    return;
  }
  write(os);
  const bool written = static_cast<bool>(os);
  os.close();
  if (!written || os.fail()) std::cout << name << " file write failed" << std::endl;
}

bool IsBlankLine(const char* line, size_t n) {
  return std::all_of(line, line + n, IsBlank);
}

// Shared loop of the two ReadQual list readers; `blankWarns` picks the
// stream form's treatment of empty and blank lines.
bool ReadQualRecords(LineReader& lines, std::vector<SequenceQuality>& list, int reserve,
                     bool blankWarns) {
  long k = -1;
  char* line = nullptr;
  size_t n = 0;
  while (!lines.Ended() && lines.Next(line, n)) {
    if (n > 0 && line[0] == '>') {
      if (k >= 0) FitToSize(list[k].mQual);
      ++k;
      if (static_cast<size_t>(k) == list.size()) list.resize(list.size() + kListStep);
      SequenceQuality& rec = list[k];
      SplitHeader(line + 1, n - 1, rec.mName, rec.mDescription);
      if (reserve > 0) rec.mQual.reserve(static_cast<size_t>(reserve));
    } else if (blankWarns && IsBlankLine(line, n)) {
      std::cout << "Hey why is there white space here?" << std::endl;
    } else if (k >= 0) {
      GetIntsFromLine(line, list[k].mQual);
    }
  }
  if (k >= 0) FitToSize(list[k].mQual);
  list.resize(static_cast<size_t>(k + 1));
  return !list.empty();
}

// Shared loop of ReadQualX and ReadQual0: empty lines are skipped, a header
// starts a record (split by the header rule, or whole as its description),
// values go to the last record.
void ReadQualLines(LineReader& lines, std::vector<SequenceQuality>& list, bool splitHeader) {
  char* line = nullptr;
  size_t n = 0;
  while (!lines.Ended() && lines.Next(line, n)) {
    if (n == 0) continue;
    if (line[0] == '>') {
      list.emplace_back();
      if (splitHeader) {
        SplitHeader(line + 1, n - 1, list.back().mName, list.back().mDescription);
      } else {
        list.back().mDescription.assign(line + 1, n - 1);
      }
    } else if (!list.empty()) {
      GetIntsFromLine(std::string(line, n), list.back().mQual);
    }
  }
}

}  // namespace

FASTAFile::FASTAFile() : mReserveLength(5000), mBasesPerLine(50), mQualsPerLine(25) {}

bool FASTAFile::Read(std::istream& in, SequenceVector& list) {
  list.mSeqs.clear();
  list.mSeqs.resize(kListStep);
  LineReader lines(in);
  return ReadRecords(lines, list.mSeqs, -1);
}

bool FASTAFile::Append(std::istream& in, SequenceVector& list) {
  const long last = static_cast<long>(list.mSeqs.size()) - 1;
  LineReader lines(in);
  return ReadRecords(lines, list.mSeqs, last);
}

bool FASTAFile::Read(std::istream& in, Sequence& seq) {
  SequenceVector list;
  const bool ok = Read(in, list);
  if (!list.mSeqs.empty()) seq = std::move(list.mSeqs[0]);
  return ok;
}

bool FASTAFile::Read(std::string name, SequenceVector& list) {
  LineReader lines(name);
  if (!lines.Opened()) {
    std::cout << name << " file open failed (Read Multiple FASTA)" << std::endl;
    return false;
  }
  std::vector<Sequence> read(kListStep);
  const bool ok = ReadRecords(lines, read, -1);
  if (lines.Error() != 0) {
    std::cout << name << " file read failed (Read Multiple FASTA)" << std::endl;
    return false;
  }
  list.mSeqs = std::move(read);
  return ok;
}

bool FASTAFile::Read(std::string name, Sequence& seq) {
  int error = 0;
  return Read(std::move(name), seq, error);
}

bool FASTAFile::Read(std::string name, Sequence& seq, int& error) {
  LineReader lines(name);
  return Read(lines, seq, error);
}

bool FASTAFile::Read(LineReader& lines, Sequence& seq, int& error) {
  std::vector<Sequence> read(kListStep);
  const bool ok = lines.Opened() && ReadRecords(lines, read, -1);
  error = lines.Error();
  if (error != 0 || !ok) return false;
  seq = std::move(read[0]);
  return true;
}

bool FASTAFile::Read0(std::string name, SequenceVector& list) {
  list.mSeqs.clear();
  LineReader lines(name);
  if (!lines.Opened()) {
    std::cout << name << " file open failed (Read Multiple FASTA)" << std::endl;
    return false;
  }
  char* line = nullptr;
  size_t n = 0;
  Sequence* rec = nullptr;
  while (!lines.Ended() && lines.Next(line, n)) {
    if (n == 0) continue;
    if (line[0] == '>') {
      list.mSeqs.emplace_back();
      if (list.mSeqs.capacity() < 2000) list.mSeqs.reserve(2000);
      rec = &list.mSeqs.back();
      rec->mDescription.assign(line + 1, n - 1);
    } else if (rec != nullptr) {
      for (size_t i = 0; i < n; ++i) {
        if (IsBase(line[i])) rec->mSeq.push_back(line[i]);
      }
    }
  }
  if (lines.Error() != 0) {
    list.mSeqs.clear();
    std::cout << name << " file read failed (Read Multiple FASTA)" << std::endl;
    return false;
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
    size_t len = 0;
    bool cut = false;
    if (!GetLineInto(in, buf, static_cast<size_t>(bufsize), len, cut) && !in.eof()) return false;
    if (len > 0 && cut) return !nulFails;  // a header keeps what precedes its NUL
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
  BlockWriter out(os);
  for (const Sequence& rec : list.mSeqs) WriteRecord(out, rec, mBasesPerLine);
}

void FASTAFile::Write(std::ostream& os, const Sequence& seq) {
  BlockWriter out(os);
  WriteRecord(out, seq, mBasesPerLine);
}

void FASTAFile::Write(std::string name, const SequenceVector& list) {
  WriteToFile(name, [&](std::ostream& os) { Write(os, list); });
}

void FASTAFile::Write(std::string name, const Sequence& seq) {
  WriteToFile(name, [&](std::ostream& os) { Write(os, seq); });
}

bool FASTAFile::ReadQual(std::istream& in, SequenceQualityVector& list) {
  list.mQuals.clear();
  list.mQuals.resize(kListStep);
  LineReader lines(in);
  return ReadQualRecords(lines, list.mQuals, mReserveLength, true);
}

bool FASTAFile::ReadQual(std::string name, SequenceQualityVector& list) {
  list.mQuals.clear();
  list.mQuals.resize(kListStep);
  LineReader lines(name);
  if (!lines.Opened()) {
    std::cout << name << " file open failed (Read Multiple FASTA)" << std::endl;
    return false;
  }
  const bool ok = ReadQualRecords(lines, list.mQuals, mReserveLength, false);
  if (lines.Error() != 0) {
    // Left as a file that cannot be opened leaves it.
    list.mQuals.clear();
    list.mQuals.resize(kListStep);
    std::cout << name << " file read failed (Read Multiple FASTA)" << std::endl;
    return false;
  }
  return ok;
}

bool FASTAFile::ReadQual(std::string name, SequenceQuality& qual) {
  SequenceQualityVector list;
  const bool ok = ReadQual(std::move(name), list);
  if (!list.mQuals.empty()) qual = std::move(list.mQuals[0]);
  return ok;
}

bool FASTAFile::ReadQualX(std::istream& in, SequenceQualityVector& list) {
  list.mQuals.clear();
  LineReader lines(in);
  ReadQualLines(lines, list.mQuals, true);
  return true;
}

bool FASTAFile::ReadQual0(std::string name, SequenceQualityVector& list) {
  list.mQuals.clear();
  LineReader lines(name);
  if (!lines.Opened()) {
    std::cout << name << " file open failed" << std::endl;
    return false;
  }
  ReadQualLines(lines, list.mQuals, false);
  if (lines.Error() != 0) {
    list.mQuals.clear();
    std::cout << name << " file read failed" << std::endl;
    return false;
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
  WriteToFile(name, [&](std::ostream& os) { WriteQual(os, list); });
}

void FASTAFile::WriteQual(std::string name, const SequenceQuality& qual) {
  WriteToFile(name, [&](std::ostream& os) { WriteQual(os, qual); });
}
