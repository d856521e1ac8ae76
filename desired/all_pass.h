// Running many independent checks of one document on the machine's cores.
#pragma once

#include <cstddef>
#include <functional>

namespace TarnConfigStore {

// Whether check(begin, end) passes for every range of [0, count). The ranges
// are handed out in order to a few threads (the caller's among them) when
// count is large enough to pay for them; once a range fails no new one
// starts. check must only read what the threads share. An exception thrown
// by a check is thrown again here, after every thread ended.
bool AllPass(size_t count, const std::function<bool(size_t begin, size_t end)>& check);

} // namespace TarnConfigStore
