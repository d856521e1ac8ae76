#include "desired/all_pass.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace TarnConfigStore {
namespace {

// A range is a few keys of a desired document: large enough that taking
// one is cheap against checking it, small enough to share the work evenly.
constexpr size_t kRange = 8;
// Below this many ranges a thread costs more than it saves.
constexpr size_t kRangesPerThread = 4;
// The checks mostly allocate and walk memory: more threads than this add
// little, and the host has other work for its cores.
constexpr unsigned kMaxThreads = 4;

} // namespace

bool AllPass(size_t count, const std::function<bool(size_t begin, size_t end)>& check) {
    const size_t ranges = (count + kRange - 1) / kRange;
    const size_t threads =
        std::min<size_t>({std::max(1u, std::thread::hardware_concurrency()), kMaxThreads, ranges / kRangesPerThread});
    if (threads <= 1) return count == 0 || check(0, count);

    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::vector<std::exception_ptr> thrown(threads);
    auto work = [&](size_t self) {
        try {
            for (size_t r; !failed.load(std::memory_order_relaxed) && (r = next.fetch_add(1)) < ranges;)
                if (!check(r * kRange, std::min(count, (r + 1) * kRange))) failed = true;
        } catch (...) {
            thrown[self] = std::current_exception();
            failed = true;
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(work, t);
        } catch (const std::system_error&) {
            break;  // no thread to be had: the others share the work
        }
    }
    work(0);
    for (std::thread& helper : helpers) helper.join();
    for (const std::exception_ptr& e : thrown)
        if (e) std::rethrow_exception(e);
    return !failed;
}

} // namespace TarnConfigStore
