#include "boot/later_steps.h"

namespace TarnConfigStore {

void BootWithNewDesiredConfiguration(const std::shared_ptr<DBStore::StoreConnection>&) {}

void ProcessBootDocument(const std::shared_ptr<DBStore::StoreConnection>&) {}

void SetupSmartnicBootConfiguration(const std::shared_ptr<DBStore::StoreConnection>&) {}

} // namespace TarnConfigStore
