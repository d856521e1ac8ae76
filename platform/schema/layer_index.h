// The parts of a schema that the layer rules and the generated identifiers
// read, indexed once per schema: every node reached through "properties"
// and "items", with its markers and its member nodes. Walking a value with it
// costs one lookup per member instead of a search of the node's keywords for
// every marker.
#pragma once

#include <deque>
#include <string_view>
#include <unordered_map>

#include "tarn/rapidjson.h"

namespace TarnSchemaValidation {

// Each keyword is read as a member search finds it: its first occurrence.
struct LayerNode {
    bool isObject = false;            // the node is an object; every flag below is false otherwise
    bool instanceId = false;          // "instanceId": true
    bool vital = false;               // "vital" is present
    bool cached = false;              // "cached" is present
    bool hasType = false;             // "type" is present
    bool typeObject = false;          // "type" is the string "object"
    bool propertiesObject = false;    // "properties" is an object
    bool declaresGeneratedId = false; // its objects carry a generated identifier
    const LayerNode* items = nullptr; // "items", when it is an object
    // The nodes of "properties", the first of each name.
    std::unordered_map<std::string_view, const LayerNode*> properties;

    // The node of a member, or null when "properties" does not name it.
    const LayerNode* Property(const rapidjson::Value& name) const;
};

class LayerIndex {
public:
    // The schema must outlive the index: names point into it.
    explicit LayerIndex(const rapidjson::Value& schema);
    LayerIndex(const LayerIndex&) = delete;
    LayerIndex& operator=(const LayerIndex&) = delete;

    const LayerNode& Root() const { return m_nodes.front(); }
    // Some node declares a generated identifier: only then do its walks find one.
    bool GeneratesIds() const { return m_generatesIds; }

private:
    const LayerNode* Add(const rapidjson::Value& node);

    std::deque<LayerNode> m_nodes;  // stable addresses as it grows
    bool m_generatesIds = false;
};

} // namespace TarnSchemaValidation
