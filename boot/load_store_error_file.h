// The LoadStore error file: events that boot stages before the load recorded
// for the load to raise as system alerts. Written outside this library:
//
//   {"evts": [{"evtMsg": "text with %s placeholders", "evtArgs": ["value", ...]}, ...]}
#pragma once

#include <string>

namespace TarnConfigStore {

inline constexpr char LOAD_STORE_ERROR_FILE[] = "/var/run/halden/files/loadStoreErrors.json";

// Raises one system alert per event of the file at path, in order, each
// message with its "%s" placeholders filled by the arguments in turn. A file
// that is not JSON is logged and raises nothing; a document that is not an
// object with an "evts" array raises nothing. Throws ConfigStoreException
// "Invalid JSON" for an event of the wrong shape and std::out_of_range for
// an event with more arguments than placeholders; events before it have
// been raised.
void ReplayLoadStoreErrorFile(const std::string& path);

} // namespace TarnConfigStore
