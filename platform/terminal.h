// What a command-line program needs to know about where its standard error goes.
#pragma once

namespace platform {

// True when standard error is a terminal, where a progress line can be redrawn in place.
bool standardErrorIsTerminal();

// Width of that terminal in characters; 0 when unknown.
int standardErrorColumns();

}  // namespace platform
