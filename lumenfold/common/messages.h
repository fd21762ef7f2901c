// Every message lumenfold writes to standard error goes through here, so
// that each carries the same prefix.
#pragma once

#include <string>

// "lumenfold: <text>". Text that came from outside (a file's name or line, a
// GL string) reaches here already shown through displayText, as everywhere.
void tell(const std::string& text);
// "lumenfold: warning: <text>".
void warn(const std::string& text);
