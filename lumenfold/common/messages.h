// Every message lumenfold writes to standard error goes through here, so
// that each carries the same prefix and none is drawn over the live line.
#pragma once

#include <string>

// "lumenfold: <text>". Text that came from outside (a file's name or line, a
// GL string) reaches here already shown through displayText, as everywhere.
void tell(const std::string& text);
// "lumenfold: warning: <text>".
void warn(const std::string& text);

// Standard error is a terminal: a live line can be rewritten in place.
bool liveLinesShown();
// On a terminal, the one status line, rewritten in place (cut to the
// terminal's width); tell() and warn() clear it first and the next update
// draws it again.
void showLive(const std::string& text);
// Leaves the live line as it stands and goes on below it.
void endLive();
