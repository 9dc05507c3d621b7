#include "Pileograph.h"
