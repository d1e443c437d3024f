#include "util/Encoding.h"
