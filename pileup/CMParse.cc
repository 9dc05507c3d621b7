#include "CMParse.h"
