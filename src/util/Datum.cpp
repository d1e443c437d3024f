#include "util/Datum.h"
