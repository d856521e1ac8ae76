// The "modules" and "nodes" sections: the hierarchy, its instance nodes,
// module branches, values' types and set behaviour.
#include <algorithm>
#include <cstring>
#include <map>

#include "kno/json_fields.h"
#include "kno/loader_parts.h"
#include "kno/value_codec.h"

namespace TarnPlatform::Kno {
namespace {

using Json::Fail;
using rapidjson::Value;

std::string NodeWhere(const NodeDef& node) {
    return "node " + std::to_string(node.id) + " ('" + node.name + "')";
}

const KNOType* TypeNamed(const Definitions& defs, const std::string& name, const std::string& where) {
    auto it = defs.typesByName.find(name);
    if (it == defs.typesByName.end()) Fail(where, "unknown type '" + name + "'");
    return it->second;
}

void LoadSet(const Value& set, NodeDef& node, const Definitions& defs, const std::string& where) {
    std::string at = where + " set";
    Json::RequireObject(set, at);
    Json::CheckMembers(set, {"input", "action", "output"}, at);
    if (!node.leaf) Fail(at, "only a leaf can be set");

    std::string input = Json::String(set, "input", at, false, node.data ? "data" : "params");
    std::string action = Json::String(set, "action", at, false, "store");
    if (action == "store") node.setAction = SetAction::Store;
    else if (action == "reset") node.setAction = SetAction::Reset;
    else if (action == "alert") node.setAction = SetAction::Alert;
    else if (action == "echo") node.setAction = SetAction::Echo;
    else Fail(at, "unknown action '" + action + "' (store, reset, alert or echo)");
    std::string output = Json::String(set, "output", at, false);
    if (!output.empty()) node.setOutput = TypeNamed(defs, output, at);

    if (node.data) {
        if (input != "data") Fail(at, "a data node takes input 'data'");
        if (action != "store" && action != "echo") Fail(at, "a data node's action is store or echo");
        if (node.setOutput) Fail(at, "a data node's output is its data; no 'output' type");
        node.setForm = SetForm::Data;
        return;
    }
    if (input == "data") Fail(at, "input 'data' needs a data node");

    if (input == "params") {
        node.setForm = SetForm::Params;
        switch (node.setAction) {
        case SetAction::Store:
            if (!node.getType) Fail(at, "action store needs the node's 'get' type");
            if (!ParamEncodable(*node.getType)) {
                Fail(at, std::string("type '") + node.getType->name + "' cannot be filled from parameters");
            }
            break;
        case SetAction::Reset:
            if (!node.getType) Fail(at, "action reset needs the node's 'get' type");
            break;
        case SetAction::Alert:
            if (node.getType || node.setOutput) Fail(at, "an alert node has no value and no output");
            break;
        case SetAction::Echo:
            Fail(at, "action echo needs a structure or data input");
        }
    } else {
        node.setForm = SetForm::Struct;
        node.setInput = TypeNamed(defs, input, at);
        if (node.setAction == SetAction::Store) {
            if (!node.getType || node.getType->size != node.setInput->size) {
                Fail(at, "action store needs a 'get' type of the input's size (" +
                             std::to_string(node.setInput->size) + " bytes)");
            }
        } else if (node.setAction == SetAction::Echo) {
            if (!node.setOutput || node.setOutput->size != node.setInput->size) {
                Fail(at, "action echo needs an 'output' type of the input's size");
            }
            return;
        } else {
            Fail(at, "a structure input takes action store or echo");
        }
    }
    if (node.setOutput && node.getType && node.setOutput->size != node.getType->size) {
        Fail(at, std::string("output type '") + node.setOutput->name + "' must have the value's size (" +
                     std::to_string(node.getType->size) + " bytes)");
    }
}

void LoadDefault(const Value& value, NodeDef& node, const std::string& where) {
    std::string at = where + " default";
    if (node.data) {
        if (!value.IsString()) Fail(at, "a data node's default is a text");
        node.defaultValue.assign(value.GetString(), value.GetString() + value.GetStringLength());
    } else {
        if (!node.getType) Fail(at, "a default needs the node's 'get' type");
        node.defaultValue.assign(node.getType->size, 0);
        try {
            EncodeJson(*node.getType, value, node.defaultValue.data());
        } catch (const ValueError& e) {
            Fail(at, e.what());
        }
    }
    node.hasDefault = true;
}

NodeDef LoadNode(const Value& entry, const Definitions& defs, const std::string& firstWhere) {
    Json::RequireObject(entry, firstWhere);
    Json::CheckMembers(entry,
                       {"id", "name", "parent", "leaf", "instance", "keys", "flags", "moduleBranch", "module", "data",
                        "get", "set", "default", "description"},
                       firstWhere);
    NodeDef node;
    node.id = static_cast<uint32_t>(Json::Unsigned(entry, "id", firstWhere, KNO_NO_NODE - 1, true));
    node.name = Json::String(entry, "name", firstWhere, true);
    std::string where = NodeWhere(node);
    if (node.name.empty()) Fail(where, "name is empty");

    if (Json::Find(entry, "parent")) {
        node.parent = static_cast<uint32_t>(Json::Unsigned(entry, "parent", where, KNO_NO_NODE - 1, true));
        if (node.id == KNO_NODE_root) Fail(where, "the root (id 0) has no parent");
    } else if (node.id != KNO_NODE_root) {
        Fail(where, "'parent' is missing (only the root, id 0, has none)");
    }

    node.data = Json::Bool(entry, "data", where, false);
    node.leaf = Json::Bool(entry, "leaf", where, node.data);
    if (node.data && !node.leaf) Fail(where, "a data node is a leaf");
    node.instance = Json::Bool(entry, "instance", where, false);
    node.flags = static_cast<uint8_t>(Json::Unsigned(entry, "flags", where, 255, false));
    std::string keys = Json::String(entry, "keys", where, false);
    if (node.HasInstances()) {
        if (keys != "int" && keys != "string") Fail(where, "an instance node needs 'keys': \"int\" or \"string\"");
        node.intKey = keys == "int";
    } else if (!keys.empty()) {
        Fail(where, "'keys' given, but the node has no instances ('instance' or flags bit 0)");
    }
    node.moduleBranch = Json::Bool(entry, "moduleBranch", where, false);
    if (node.moduleBranch && !node.instance) Fail(where, "a module branch must be an instance node");
    node.module = static_cast<uint32_t>(Json::Unsigned(entry, "module", where, KNO_NO_MODULE - 1, false));
    if (node.module && !defs.ModuleByID(node.module)) {
        Fail(where, "module " + std::to_string(node.module) + " is not in 'modules'");
    }

    std::string get = Json::String(entry, "get", where, false);
    if (!get.empty()) {
        if (!node.leaf || node.data) Fail(where, "only a leaf that is not a data node has a 'get' type");
        node.getType = TypeNamed(defs, get, where);
    }
    if (const Value* set = Json::Find(entry, "set")) LoadSet(*set, node, defs, where);
    if (const Value* value = Json::Find(entry, "default")) LoadDefault(*value, node, where);
    return node;
}

// Nodes the host's own components read must sit where they look for them.
void CheckReservedIDs(const Definitions& defs) {
    struct Reserved {
        uint32_t id;
        uint32_t parent;
        const char* name;
    };
    static const Reserved kReserved[] = {
        {KNO_NODE_system, KNO_NODE_root, "system"},
        {KNO_NODE_system_bootCmdLine, KNO_NODE_system, "bootCmdLine"},
        {KNO_NODE_system_bootMAC, KNO_NODE_system, "bootMAC"},
        {KNO_NODE_system_bootFsUUID, KNO_NODE_system, "bootFsUUID"},
        {KNO_NODE_system_sysAlert, KNO_NODE_system, "sysAlert"},
        {KNO_NODE_system_lumenfs, KNO_NODE_system, "lumenfs"},
        {KNO_NODE_system_lumenfs_inodes, KNO_NODE_system_lumenfs, "inodes"},
        {KNO_NODE_system_lumenfs_inodes_stats, KNO_NODE_system_lumenfs_inodes, "stats"},
    };
    for (const Reserved& r : kReserved) {
        const NodeDef* node = defs.Node(r.id);
        if (node && (node->name != r.name || node->parent != r.parent)) {
            Fail(NodeWhere(*node), "id " + std::to_string(r.id) + " is reserved for '" + r.name +
                                       "' under node " + std::to_string(r.parent));
        }
    }
}

void LinkNodes(Definitions& defs) {
    if (!defs.Node(KNO_NODE_root)) Fail("nodes", "there is no root node (id 0)");
    for (uint32_t id : defs.nodeOrder) {
        NodeDef& node = defs.nodes.at(id);
        if (node.id == KNO_NODE_root) continue;
        auto parent = defs.nodes.find(node.parent);
        if (parent == defs.nodes.end()) {
            Fail(NodeWhere(node), "parent " + std::to_string(node.parent) + " does not exist");
        }
        if (parent->second.leaf) Fail(NodeWhere(node), "parent " + NodeWhere(parent->second) + " is a leaf");
        for (uint32_t sibling : parent->second.children) {
            const NodeDef& other = defs.nodes.at(sibling);
            if (other.name == node.name && (other.module == 0 || node.module == 0 || other.module == node.module)) {
                Fail(NodeWhere(node), "name used twice under " + NodeWhere(parent->second) + " (also node " +
                                          std::to_string(other.id) + ")");
            }
        }
        parent->second.children.push_back(id);
    }
    for (auto& entry : defs.nodes) {
        auto& children = entry.second.children;
        for (size_t i = 0; i + 1 < children.size(); ++i) defs.nodes.at(children[i]).sibling = children[i + 1];
    }
    // Every node must hang from the root; a parent cycle never reaches it.
    for (auto& entry : defs.nodes) {
        NodeDef& node = entry.second;
        std::vector<uint32_t> path;
        uint32_t at = node.id;
        while (at != KNO_NODE_root) {
            if (path.size() > defs.nodes.size()) Fail(NodeWhere(node), "its parents form a cycle");
            path.push_back(at);
            at = defs.nodes.at(at).parent;
        }
        path.push_back(KNO_NODE_root);
        std::reverse(path.begin(), path.end());
        for (uint32_t id : path) {
            const NodeDef& step = defs.nodes.at(id);
            if (step.instance) node.instanceChain.push_back(id);
            if (step.flags & KNO_NODE_FLAG_TRY_INSTANCE) node.keysAmbiguous = true;
        }
    }
}

} // namespace

void LoadModules(const Value* modules, Definitions& defs) {
    if (!modules) return;
    for (rapidjson::SizeType i = 0; i < modules->Size(); ++i) {
        std::string where = "modules[" + std::to_string(i) + "]";
        const Value& entry = Json::RequireObject((*modules)[i], where);
        Json::CheckMembers(entry, {"id", "name", "description"}, where);
        Module module;
        module.id = static_cast<uint32_t>(Json::Unsigned(entry, "id", where, KNO_NO_MODULE - 1, true));
        module.name = Json::String(entry, "name", where, true);
        if (module.id == 0) Fail(where, "module id 0 means 'every module'; use 1 or more");
        if (module.name.empty()) Fail(where, "name is empty");
        if (defs.ModuleByID(module.id)) Fail(where, "duplicate module id " + std::to_string(module.id));
        if (defs.ModuleByName(module.name)) Fail(where, "duplicate module name '" + module.name + "'");
        defs.modules.push_back(module);
    }
}

void LoadNodes(const Value* nodes, Definitions& defs) {
    if (!nodes || nodes->Empty()) Fail("nodes", "the tree has no nodes");
    for (rapidjson::SizeType i = 0; i < nodes->Size(); ++i) {
        NodeDef node = LoadNode((*nodes)[i], defs, "nodes[" + std::to_string(i) + "]");
        auto existing = defs.nodes.find(node.id);
        if (existing != defs.nodes.end()) {
            Fail(NodeWhere(node), "duplicate node id (also '" + existing->second.name + "')");
        }
        defs.nodeOrder.push_back(node.id);
        defs.nodes.emplace(node.id, std::move(node));
    }
    LinkNodes(defs);
    CheckReservedIDs(defs);
}

} // namespace TarnPlatform::Kno
