#include "ParseUtils.h"
