// The quality-file readers on arbitrary text, the writer on what they read,
// and the write-and-read-back round trip of the values.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "FASTAFile.h"
#include "FuzzTempFile.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  FASTAFile fasta;
  std::streambuf* saved = std::cout.rdbuf();
  std::ostringstream console;
  std::cout.rdbuf(console.rdbuf());

  SequenceQualityVector list;
  std::istringstream in(text);
  const bool any = fasta.ReadQual(in, list);
  Check(any == !list.mQuals.empty());
  std::ostringstream out;
  fasta.WriteQual(out, list);
  list.Print(out);
  float mean, var;
  list.Phred20Stats(mean, var);
  list.Phred20Total();

  // Every value comes back from the file as written.
  SequenceQualityVector back;
  {
    std::ostringstream written;
    fasta.WriteQual(written, list);
    std::istringstream reread(written.str());
    fasta.ReadQual(reread, back);
  }
  Check(back.mQuals.size() == list.mQuals.size());
  for (size_t i = 0; i < back.mQuals.size(); ++i) Check(back.mQuals[i].mQual == list.mQuals[i].mQual);

  std::istringstream in2(text);
  fasta.ReadQualX(in2, list);

  FuzzTempFile file(data, size);
  fasta.ReadQual(file.Path(), list);
  fasta.ReadQual0(file.Path(), list);
  SequenceQuality one;
  fasta.ReadQual(file.Path(), one);
  one.FindPhred20(0);
  one.FindPhred20(-1);
  one.RFindPhred20();
  one.RFindPhred20(static_cast<long>(one.mQual.size()) + 3);
  one.CountPhred20();
  one.Print(out);
  SequenceQuality twice = one;
  twice.Concatenate(one);
  twice.Reverse();
  twice.Trim(2, static_cast<long>(twice.mQual.size()) - 2);

  std::cout.rdbuf(saved);
  return 0;
}
