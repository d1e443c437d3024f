#include "util/Dateisuche.h"
