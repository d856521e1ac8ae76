// The image database's queries: each takes the lock for its own call only.
#include "image/tarn_image.h"

namespace TarnImage {

std::unordered_set<std::string> GetCrateIds() { return TarnImage().GetCrateIds(); }

std::unordered_map<std::string, CrateInfo> GetTarnImage() { return TarnImage().Get(); }

void Dump() { TarnImage().Dump(); }

} // namespace TarnImage
