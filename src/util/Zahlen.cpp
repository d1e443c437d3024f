#include "util/Zahlen.h"
