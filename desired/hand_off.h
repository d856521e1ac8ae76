// Handing work from one thread to another through a queue of bounded length.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

namespace TarnConfigStore {

// The giver Puts items and Closes, with the exception that ended its work if
// any; the taker Takes them in order until none is left, then Rethrows that
// exception. A taker that gives up Stops: the giver's next Put fails.
template <typename T>
class HandOff {
public:
    explicit HandOff(size_t capacity) : m_capacity(capacity) {}

    // Waits while the queue is full; false when the taker stopped.
    bool Put(T item) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopped || m_items.size() < m_capacity; });
        if (m_stopped) return false;
        m_items.push_back(std::move(item));
        m_changed.notify_all();
        return true;
    }

    void Close(std::exception_ptr error = nullptr) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_error = std::move(error);
        m_changed.notify_all();
    }

    // The next item; none once the giver closed and every item was taken.
    std::optional<T> Take() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_closed || !m_items.empty(); });
        if (m_items.empty()) return std::nullopt;
        T item = std::move(m_items.front());
        m_items.pop_front();
        m_changed.notify_all();
        return item;
    }

    void Stop() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }

    void Rethrow() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_error) std::rethrow_exception(m_error);
    }

private:
    const size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<T> m_items;
    bool m_closed = false, m_stopped = false;
    std::exception_ptr m_error;
};

} // namespace TarnConfigStore
