// The writer lock of the configuration store: one file under the host root
// that the boot holds from its restore to its end and every writer of the
// store holds while it writes, across processes. The store's operations take
// no lock themselves (the boot relies on being the only writer); the programs
// that call them hold this one around them, so a write lands wholly before a
// boot or wholly after it, never into a store file the restore replaces.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "tarn/export.h"
#include "tarn/platform/unique_fd.h"

namespace TarnConfigStore {

inline constexpr char STORE_LOCK_PATH[] = "/var/run/halden/configstore.lock";

// How long a writer waits for the lock: the busy timeout of every statement.
inline constexpr std::chrono::milliseconds STORE_LOCK_WAIT{3000};

class TARN_EXPORT StoreLock {
public:
    // Called once when the lock is not free at once, with the holder's text.
    using WaitNotice = std::function<void(const std::string& holder)>;

    // Takes the lock for holder (a text naming this process and what it does,
    // recorded in the lock file while held). Waits up to wait, or without
    // limit when wait is negative; then throws ConfigStoreException naming
    // the holder. Also throws when the lock file cannot be opened.
    StoreLock(const std::string& holder, std::chrono::milliseconds wait, const WaitNotice& notice = nullptr);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    TarnPlatform::UniqueFd m_fd;
    std::string m_holder;
};

// The text the current holder recorded; empty when nobody holds the lock.
TARN_EXPORT std::string StoreLockHolder();

} // namespace TarnConfigStore
