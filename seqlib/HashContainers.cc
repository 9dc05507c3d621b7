#include "HashContainers.h"
