#include "util/TextGrid.h"
