#include "IopLog.h"
