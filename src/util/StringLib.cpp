#include "util/StringLib.h"
