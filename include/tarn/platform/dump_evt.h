// The host's event emitter. Each event is recorded with its filled-in catalog
// message in the event log (/var/log/configstore-events.log under the host
// root), one line per event.
#pragma once

#include "tarn/export.h"

namespace TarnConfigStore {

// id: the event identifier; argc: the number of const char* arguments that
// follow, filling the message's conversions in order.
TARN_PLATFORM_EXPORT void DumpEvt(const char* id, int argc, ...);

} // namespace TarnConfigStore

namespace TarnPlatform {

// The event catalog DumpEvt reads, set by the store library when it is loaded.
// Returns nullptr for an unknown identifier; such an event is recorded with
// its identifier and arguments only.
typedef const char* (*EventMessageLookup)(const char* id);
TARN_PLATFORM_EXPORT void SetEventMessageLookup(EventMessageLookup lookup);

} // namespace TarnPlatform
