#include "completion_prefix.h"

#include <algorithm>

namespace KnoshFrontend {

std::string CommonCompletion(const std::string& typed, const std::string& common) {
    if (std::count(common.begin(), common.end(), '"') % 2 == 0) return common;
    std::string cut = common.substr(0, common.rfind('"'));
    return cut.size() < typed.size() ? typed : cut;
}

} // namespace KnoshFrontend
