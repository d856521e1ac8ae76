// The tree's state by slot (SlotOf): its entries in one array in the order
// they came, found through an open-addressed table of their hashes. A value
// call looks up an instance and a value among as many records as the host
// has files; here each lookup reads a table cell and an entry, where a
// node-based hash map follows a bucket, the node before and the node, each
// likely a cache miss. Nothing is ever removed: a state changes only by
// additions and by being read anew from the tree file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace TarnPlatform::Kno {

template <typename V>
class SlotTable {
public:
    const V* Find(const std::string& slot) const { return Find(slot, std::hash<std::string>()(slot)); }
    V* Find(const std::string& slot) { return const_cast<V*>(std::as_const(*this).Find(slot)); }

    // The slot's value, with whether it was added now; an existing value is
    // kept. The pointer holds until the next addition.
    std::pair<V*, bool> Insert(const std::string& slot, V value) {
        const size_t hash = std::hash<std::string>()(slot);
        if (const V* found = Find(slot, hash)) return {const_cast<V*>(found), false};
        if (2 * (m_entries.size() + 1) > m_cells.size()) Grow();
        m_entries.emplace_back(slot, std::move(value));
        Place(hash, static_cast<uint32_t>(m_entries.size()));
        return {&m_entries.back().second, true};
    }
    V& operator[](const std::string& slot) { return *Insert(slot, V()).first; }

private:
    struct Cell {
        uint32_t tag = 0;    // high half of the slot's hash
        uint32_t entry = 0;  // position in m_entries plus one; 0: empty
    };

    const V* Find(const std::string& slot, size_t hash) const {
        if (m_cells.empty()) return nullptr;
        for (size_t i = hash & Mask(); m_cells[i].entry; i = (i + 1) & Mask()) {
            const Cell& cell = m_cells[i];
            if (cell.tag == Tag(hash) && m_entries[cell.entry - 1].first == slot) return &m_entries[cell.entry - 1].second;
        }
        return nullptr;
    }

    size_t Mask() const { return m_cells.size() - 1; }
    static uint32_t Tag(size_t hash) { return static_cast<uint32_t>(static_cast<uint64_t>(hash) >> 32); }

    void Place(size_t hash, uint32_t entry) {
        size_t i = hash & Mask();
        while (m_cells[i].entry) i = (i + 1) & Mask();
        m_cells[i] = {Tag(hash), entry};
    }

    // Doubles the table (at most half full after), placing every entry again.
    void Grow() {
        m_cells.assign(m_cells.empty() ? 16 : 2 * m_cells.size(), Cell());
        for (size_t e = 0; e < m_entries.size(); ++e)
            Place(std::hash<std::string>()(m_entries[e].first), static_cast<uint32_t>(e + 1));
    }

    std::vector<Cell> m_cells;  // a power of two in size
    std::vector<std::pair<std::string, V>> m_entries;
};

} // namespace TarnPlatform::Kno
