#include "DocumentList.h"
