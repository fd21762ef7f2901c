#include "common/name_value.h"

#include <cctype>

#include "common/display_text.h"

bool validName(const std::string& name, NameKind kind) {
    if (name.empty()) return false;
    if (kind == NameKind::variable && std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    // ASCII alone (isalnum in the C locale): a name reads the same on every terminal.
    for (char c : name) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        if (!plain && !(kind == NameKind::label && (c == '.' || c == '-'))) return false;
    }
    return true;
}

bool parseNameValues(const std::vector<std::string>& arguments, NameKind kind, std::map<std::string, std::string>& out,
                     std::string& error) {
    const char* what = kind == NameKind::variable ? "a variable's name (letters, digits, _; not a digit first)"
                                                   : "a label's name (letters, digits, _ . -)";
    for (const std::string& argument : arguments) {
        const size_t equals = argument.find('=');
        if (equals == std::string::npos) {
            error = "\"" + displayText(argument) + "\" is not NAME=VALUE";
            return false;
        }
        const std::string name = argument.substr(0, equals);
        if (!validName(name, kind)) {
            error = "\"" + displayText(name) + "\" in \"" + displayText(argument) + "\" is not " + what;
            return false;
        }
        if (!out.emplace(name, argument.substr(equals + 1)).second) {
            error = displayText(name) + " is given twice";
            return false;
        }
    }
    return true;
}
