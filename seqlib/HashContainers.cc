#include "HashContainers.h"

uint32_t BasicStringHashF::operator()(const std::string& s) const {
  uint32_t h = 0;
  for (char c : s) {
    // Characters count as signed bytes whatever the platform's char is.
    const int32_t x = static_cast<signed char>(c);
    h = 5u * h + static_cast<uint32_t>(x);
  }
  return h;
}

bool String2IntMap::Contains(std::string key) const { return find(key) != end(); }
