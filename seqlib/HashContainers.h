// Named hash containers: a set of int and a map from string to int.
#ifndef PILEOGRAPH_HASHCONTAINERS_H
#define PILEOGRAPH_HASHCONTAINERS_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

// h = 5 * h + c over every character taken as signed, unsigned 32-bit.
struct BasicStringHashF {
  uint32_t operator()(const std::string& s) const;
};

class IntSet : public std::unordered_set<int> {};

class String2IntMap : public std::unordered_map<std::string, int, BasicStringHashF> {
 public:
  bool Contains(std::string key) const;
};

#endif
