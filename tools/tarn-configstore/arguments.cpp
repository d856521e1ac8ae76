#include "arguments.h"

namespace TarnCli {
namespace {

// "a", "a or b", "a, b or c".
std::string Alternatives(std::initializer_list<const char*> words) {
    std::string text;
    size_t i = 0;
    for (const char* w : words) {
        text += i == 0 ? "" : i + 1 == words.size() ? " or " : ", ";
        text += w;
        ++i;
    }
    return text;
}

} // namespace

bool ParsedArgs::Has(const std::string& option) const {
    for (const auto& o : options)
        if (o.first == option) return true;
    return false;
}

Args ParsedArgs::Values(const std::string& option) const {
    Args values;
    for (const auto& o : options)
        if (o.first == option) values.push_back(o.second);
    return values;
}

ParsedArgs ParseArgs(const Args& args, std::initializer_list<Option> options) {
    ParsedArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            parsed.operands.insert(parsed.operands.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (a.size() < 2 || a[0] != '-') {  // "-" alone is an operand (standard input, by custom)
            parsed.operands.push_back(a);
            continue;
        }
        const size_t equals = a.find('=');
        const std::string name = a.substr(0, equals);
        const Option* option = nullptr;
        for (const Option& o : options)
            if (name == o.name) option = &o;
        if (!option) throw UsageError("unknown option '" + name + "'");
        if (!option->value && equals != std::string::npos)
            throw UsageError("option '" + name + "' takes no value");
        if (!option->value) {
            parsed.options.emplace_back(name, "");
        } else if (equals != std::string::npos) {
            parsed.options.emplace_back(name, a.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            parsed.options.emplace_back(name, args[++i]);
        } else {
            throw UsageError("option '" + name + "' needs its " + option->value);
        }
    }
    return parsed;
}

size_t Choose(const Args& operands, std::initializer_list<const char*> words) {
    if (operands.empty()) throw UsageError("missing argument: expected " + Alternatives(words));
    size_t i = 0;
    for (const char* w : words) {
        if (operands[0] == w) return i;
        ++i;
    }
    throw UsageError("unknown word '" + operands[0] + "': expected " + Alternatives(words));
}

void AtMost(const Args& operands, size_t most) {
    if (operands.size() > most) throw UsageError("unexpected argument '" + operands[most] + "'");
}

} // namespace TarnCli
