#include "Transfer.h"
