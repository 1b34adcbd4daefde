#include "PathMacros.h"
