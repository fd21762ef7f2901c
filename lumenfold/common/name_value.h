// NAME=VALUE pairs given on the command line (--label, --env): one way to
// read them, so that every option refuses the same mistakes.
#pragma once

#include <map>
#include <string>
#include <vector>

// What a name may be: an environment variable's (a letter or _, then
// letters, digits, _), or a label's (letters, digits, _ . -).
enum class NameKind { variable, label };

bool validName(const std::string& name, NameKind kind);

// The pairs in the order given; false with error (naming the bad argument,
// shown safely) when one has no '=', an invalid name, or a name given twice.
// The value is everything after the first '=' and may be empty.
bool parseNameValues(const std::vector<std::string>& arguments, NameKind kind, std::map<std::string, std::string>& out,
                     std::string& error);
