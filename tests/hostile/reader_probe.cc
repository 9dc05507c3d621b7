// Runs one file-name reader on a file and prints its result after the
// reader's own messages, for the tests that make the file's reads fail.
//
//   reader_probe READER FILE
#include <cstring>
#include <iostream>
#include <string>

#include "CMParse.h"
#include "FASTAFile.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string reader = argv[1];
  const std::string path = argv[2];
  FASTAFile fasta;
  SequenceVector list;
  list.mSeqs.resize(1);
  list.mSeqs[0].mName = "keep";
  Sequence seq = list.mSeqs[0];
  SequenceQualityVector quals;
  SequenceQuality qual;
  CMParse cm;
  int error = 0;
  bool ok = false;
  std::string target;  // what the reader left in its target
  if (reader == "Read(list)") {
    ok = fasta.Read(path, list);
    target = std::to_string(list.mSeqs.size()) + " " + list.mSeqs[0].mName;
  } else if (reader == "Read(record)" || reader == "Read0(record)") {
    ok = reader == "Read0(record)" ? fasta.Read0(path, seq) : fasta.Read(path, seq, error);
    target = seq.mName + (reader == "Read(record)" ? std::string(" ") + std::strerror(error) : "");
  } else if (reader == "Read0(list)") {
    ok = fasta.Read0(path, list);
    target = std::to_string(list.mSeqs.size());
  } else if (reader == "ReadQual(list)" || reader == "ReadQual0") {
    ok = reader == "ReadQual0" ? fasta.ReadQual0(path, quals) : fasta.ReadQual(path, quals);
    target = std::to_string(quals.mQuals.size());
  } else if (reader == "ReadQual(record)") {
    ok = fasta.ReadQual(path, qual);
    target = "'" + qual.mName + "'";
  } else if (reader == "Parse") {
    ok = cm.Parse(path, error);
    target = std::to_string(cm.mHits.size()) + " " + std::strerror(error);
  } else {
    return 2;
  }
  std::cout << reader << " " << ok << " " << target << std::endl;
  return 0;
}
