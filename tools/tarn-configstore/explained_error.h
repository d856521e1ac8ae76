// A failure whose text is fixed (the library's exception, a logged line), with
// what the program adds: the cause it found and, where there is one, the next
// step. main prints the text, then the explanation on a line of its own.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace TarnCli {

class ExplainedError : public std::runtime_error {
public:
    ExplainedError(const std::string& what, std::string explanation)
        : std::runtime_error(what), m_explanation(std::move(explanation)) {}
    const std::string& Explanation() const { return m_explanation; }

private:
    std::string m_explanation;
};

} // namespace TarnCli
