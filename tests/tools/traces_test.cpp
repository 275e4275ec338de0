#include "tools/uIE.h"
