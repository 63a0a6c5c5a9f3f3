#include "paradox/EngineError.h"
