// The text readline puts in place of the word when several completions
// share a beginning.
#pragma once

#include <string>

namespace KnoshFrontend {

// common: the candidates' shared beginning; typed: the word as typed. A
// shared beginning that ends inside a quote (two quoted names such as
// "eth 0" and "eth 1") would leave the line with an open quote: it is cut
// before that quote, but never below what was typed.
std::string CommonCompletion(const std::string& typed, const std::string& common);

} // namespace KnoshFrontend
