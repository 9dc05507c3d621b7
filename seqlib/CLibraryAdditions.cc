#include "CLibraryAdditions.h"
