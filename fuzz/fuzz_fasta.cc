// The FASTA readers (list reader, Append, GetNextRead, Read0) and the writer,
// with the write-and-read-back round trip checked where it must hold.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "FASTAFile.h"
#include "FuzzTempFile.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool EndsInBlankOrCR(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// True when a record comes back unchanged from Write and the list reader:
// a name, a description that the reader will not trim, and no written
// sequence line that would read as a header or lose its last character.
bool RoundTrips(const Sequence& s, int perLine) {
  if (s.mName.empty()) return false;
  if (!s.mDescription.empty() && s.mDescription.back() == '\r') return false;
  const size_t n = s.mSeq.size();
  for (size_t i = 0; i < n; i += static_cast<size_t>(perLine)) {
    const size_t last = std::min(n, i + static_cast<size_t>(perLine)) - 1;
    if (s.mSeq[i] == '>' || EndsInBlankOrCR(s.mSeq[last])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  FASTAFile fasta;
  std::streambuf* saved = std::cout.rdbuf();
  std::ostringstream console;
  std::cout.rdbuf(console.rdbuf());

  SequenceVector list;
  std::istringstream in(text);
  const bool any = fasta.Read(in, list);
  Check(any == !list.mSeqs.empty());
  std::ostringstream out;
  fasta.Write(out, list);

  bool all = true;
  for (const Sequence& s : list.mSeqs) all = all && RoundTrips(s, fasta.mBasesPerLine);
  if (all) {
    SequenceVector back;
    std::istringstream again(out.str());
    fasta.Read(again, back);
    Check(back.mSeqs.size() == list.mSeqs.size());
    for (size_t i = 0; i < back.mSeqs.size(); ++i) {
      Check(back.mSeqs[i].mName == list.mSeqs[i].mName);
      Check(back.mSeqs[i].mDescription == list.mSeqs[i].mDescription);
      Check(back.mSeqs[i].mSeq == list.mSeqs[i].mSeq);
    }
  }

  const size_t before = list.mSeqs.size();
  std::istringstream in2(text);
  fasta.Append(in2, list);
  Check(list.mSeqs.size() >= before);

  // GetNextRead with a buffer size taken from the input.
  const int bufsize = size > 0 ? 1 + data[0] % 300 : 64;
  std::istringstream in3(text);
  std::vector<char> buf(static_cast<size_t>(bufsize));
  buf[0] = '1';
  Sequence seq;
  for (size_t records = 0; records <= size && in3; ++records) {
    if (!fasta.GetNextRead(in3, buf.data(), bufsize, seq)) break;
  }

  FuzzTempFile file(data, size);
  SequenceVector list0;
  fasta.Read0(file.Path(), list0);
  Sequence first;
  fasta.Read0(file.Path(), first);
  fasta.Read(file.Path(), first);
  SequenceVector fromFile;
  fasta.Read(file.Path(), fromFile);
  Check(fromFile.mSeqs.size() == list.mSeqs.size() - before);

  std::cout.rdbuf(saved);
  return 0;
}
