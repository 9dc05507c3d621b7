#include "Sequence.h"
