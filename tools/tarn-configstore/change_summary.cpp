#include "change_summary.h"

namespace TarnCli {

std::string ChangeSummary(const std::vector<TarnConfigStore::TableChange>& changes) {
    std::string out;
    for (const auto& c : changes) {
        if (!c.added && !c.changed && !c.removed) continue;
        out += out.empty() ? "" : ", ";
        out += c.table;
        if (c.added) out += " +" + std::to_string(c.added);
        if (c.changed) out += " ~" + std::to_string(c.changed);
        if (c.removed) out += " -" + std::to_string(c.removed);
    }
    return out.empty() ? "no change" : out;
}

} // namespace TarnCli
