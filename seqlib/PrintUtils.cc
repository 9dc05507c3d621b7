#include "PrintUtils.h"
