// The pileup file of pileograph-txt: written through one large buffer, and
// never left behind holding part of a pileup.
#ifndef PILEOGRAPH_PILEUPFILE_H
#define PILEOGRAPH_PILEUPFILE_H

#include <string>

#include "Pileograph.h"

// Writes the text pileup of `pg` to `path` in blocks of 100 columns from
// `start` (see Pileograph::PrintAlignment), opened as OpenOutputFile does
// against the files `pg` has read (`contigPath`: the contig), then cut.
// Returns true when the whole pileup was written and closed. Otherwise
// `failure` holds the reason (with what is left of the file when it could
// not be removed); a regular file written in part has been emptied and
// removed from the place the path leads to; a link, pipe or device stays.
bool WritePileup(Pileograph& pg, const char* path, const char* contigPath, int start, int end,
                 std::string& failure);

// "contig" or "report" when `path` leads to the same regular file as
// `contigPath` or `reportPath`; nullptr when writing it destroys no input.
const char* InputAtPileupPath(const char* path, const char* contigPath, const char* reportPath);

#endif
