#include "Reduction.h"
