#pragma once
// A program's options as one table: the table reads the command line and writes the option lines
// of --help, so the two cannot drift apart. Checks between options stay with each program.
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace ostrel::options {

// Takes an option's value ("" for a switch) and says why it refuses it, or "" when taken.
using Take = std::function<std::string(const std::string& value)>;

inline constexpr bool kRepeatable = true;

struct Option {
    const char* name;   // "--port"
    const char* value;  // its value's name in the help, "PATH"; nullptr for a switch
    const char* help;   // its lines in the help, '\n' between them
    Take take;
    bool repeatable = false;      // each value taken in turn rather than refused the second time
    const char* alias = nullptr;  // a short name, "-h"
};

Take Sets(bool& flag);
Take Stores(std::string& text);

// Reads `args` by `table`: a switch by its name, an option with a value as "--name VALUE" or
// "--name=VALUE". False with `error` set at the first argument it cannot take: unknown, a value
// missing or empty, a value given twice (the second would silently win), or refused by its row.
bool ParseOptions(std::span<const Option> table, const std::vector<std::string>& args,
                  std::string& error);

// The option lines of --help: each option with its value's name, its help from `column` on.
std::string OptionsHelp(std::span<const Option> table, std::size_t column);

}  // namespace ostrel::options
