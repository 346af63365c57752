#include "engine/pass_loop.h"
