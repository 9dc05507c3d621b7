#include "SequenceQuality.h"
