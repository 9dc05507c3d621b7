// The quality-file readers on arbitrary text, and the writer on what they read.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "FASTAFile.h"
#include "FuzzTempFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  FASTAFile fasta;
  std::streambuf* saved = std::cout.rdbuf();
  std::ostringstream console;
  std::cout.rdbuf(console.rdbuf());

  SequenceQualityVector list;
  std::istringstream in(text);
  fasta.ReadQual(in, list);
  std::ostringstream out;
  fasta.WriteQual(out, list);
  list.Print(out);
  float mean, var;
  list.Phred20Stats(mean, var);

  std::istringstream in2(text);
  fasta.ReadQualX(in2, list);

  FuzzTempFile file(data, size);
  fasta.ReadQual(file.Path(), list);
  fasta.ReadQual0(file.Path(), list);
  SequenceQuality one;
  fasta.ReadQual(file.Path(), one);
  one.FindPhred20(0);
  one.RFindPhred20();

  std::cout.rdbuf(saved);
  return 0;
}
