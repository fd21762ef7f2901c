#include "common/command_line.h"

std::string shellQuoted(int argc, char** argv) {
    std::string out;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) out += ' ';
        const std::string arg = argv[i];
        if (!arg.empty() && arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                  "0123456789-_./=:,+@%") == std::string::npos) {
            out += arg;
            continue;
        }
        out += '\'';
        for (char c : arg) {
            if (c == '\'')
                out += "'\\''";
            else
                out += c;
        }
        out += '\'';
    }
    return out;
}
