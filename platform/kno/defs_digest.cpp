// The signature of a set of definitions: an MD5 over a canonical text of
// everything that shapes the tree (types, modules, nodes), independent of
// the file's layout. Instance lists and values are state, not definitions.
#include <sstream>

#include "kno/md5.h"
#include "kno/tree_loader.h"
#include "kno/value_codec.h"

namespace TarnPlatform::Kno {
namespace {

// Texts carry their length so no two different definitions read alike.
void Put(std::ostringstream& out, const std::string& text) { out << text.size() << ':' << text << '|'; }
void Put(std::ostringstream& out, uint64_t number) { out << number << '|'; }
std::string TypeName(const KNOType* type) { return type ? type->name : ""; }

} // namespace

std::string DefinitionsDigest(const Definitions& defs) {
    std::ostringstream out;
    for (const KNOType& t : defs.types) {
        out << "T|";
        Put(out, t.name);
        Put(out, t.kind);
        Put(out, t.size);
        Put(out, t.display);
        Put(out, TypeName(t.elementType));
        Put(out, t.isBitmask);
        for (uint32_t i = 0; i < t.numMembers; ++i) {
            out << "\nM|";
            Put(out, t.members[i].name);
            Put(out, t.members[i].type->name);
            Put(out, t.members[i].offset);
            Put(out, t.members[i].description);
        }
        for (uint32_t i = 0; i < t.numValues; ++i) {
            out << "\nV|";
            Put(out, t.values[i].name);
            Put(out, t.values[i].value);
            Put(out, t.values[i].description);
        }
        out << '\n';
    }
    for (const Module& m : defs.modules) {
        out << "D|";
        Put(out, m.id);
        Put(out, m.name);
        out << '\n';
    }
    for (uint32_t id : defs.nodeOrder) {
        const NodeDef& n = defs.nodes.at(id);
        out << "N|";
        Put(out, n.id);
        Put(out, n.parent);
        Put(out, n.name);
        Put(out, n.leaf);
        Put(out, n.instance);
        Put(out, n.intKey);
        Put(out, n.flags);
        Put(out, n.moduleBranch);
        Put(out, n.module);
        Put(out, n.data);
        Put(out, TypeName(n.getType));
        Put(out, static_cast<uint64_t>(n.setForm));
        Put(out, static_cast<uint64_t>(n.setAction));
        Put(out, TypeName(n.setInput));
        Put(out, TypeName(n.setOutput));
        Put(out, n.hasDefault ? ToHex(n.defaultValue.data(), n.defaultValue.size()) : std::string("-"));
        out << '\n';
    }
    return Md5Hex(out.str());
}

} // namespace TarnPlatform::Kno
