#include "converter/driver/run_context.h"
