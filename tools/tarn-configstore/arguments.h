// A command's arguments: its options, which a "--" ends, and its operands;
// and the usage error that says what was wrong with them.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace TarnCli {

using Args = std::vector<std::string>;

// A command's arguments were wrong: main prints "tarn-configstore: <command>:
// <what>" and the command's usage line, and exits 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An option a command takes; value names its argument ("N"), null for a flag.
struct Option {
    const char* name;
    const char* value = nullptr;
};

struct ParsedArgs {
    std::vector<std::pair<std::string, std::string>> options;  // in the order given; a flag's value is empty
    Args operands;

    bool Has(const std::string& option) const;
    // The values of an option that takes one, in the order given.
    Args Values(const std::string& option) const;
};

// Splits args into the options given (up to a "--"; "--opt=value" or "--opt
// value") and the operands. Throws UsageError for an option it does not
// take or an option without its value.
ParsedArgs ParseArgs(const Args& args, std::initializer_list<Option> options = {});

// The index in words of the first operand. Throws UsageError "missing
// argument: expected a or b" when there is none, "unknown word 'w': expected
// a or b" when it is none of words.
size_t Choose(const Args& operands, std::initializer_list<const char*> words);

// Throws UsageError "unexpected argument 'w'" naming operands[most] when
// there are more than most.
void AtMost(const Args& operands, size_t most);

} // namespace TarnCli
