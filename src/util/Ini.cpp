#include "util/Ini.h"
