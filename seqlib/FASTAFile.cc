#include "FASTAFile.h"
