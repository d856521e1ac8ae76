// Node lookups, children in sibling order, modules, node types and instance
// lists.
#include <string>
#include <vector>

#include "tests/platform/kno/kno_test_support.h"

namespace {

using namespace KnoTest;

struct InfoDeleter {
    void operator()(KNONodeInfo* info) const { KNO_NodeInfoRelease(info); }
};
using Info = std::unique_ptr<KNONodeInfo, InfoDeleter>;

Info Lookup(uint32_t id, uint32_t module = 0) {
    KNONodeInfo* info = nullptr;
    EXPECT_EQ(KNO_NodeInfoLookup(id, module, &info), KES_OK) << "node " << id;
    return Info(info);
}

// Follows names from the root as the shell does, with one module id.
Info Child(const Info& parent, const char* name, uint32_t module = 0) {
    KNONodeInfo* child = nullptr;
    KES_ReturnStatus status = KNO_ChildNodeLookup(parent.get(), module, name, &child);
    return Info(status == KES_OK ? child : nullptr);
}

std::vector<std::string> ChildNames(uint32_t id, uint32_t module) {
    std::vector<std::string> names;
    Info node = Lookup(id, module);
    for (uint32_t child = KNO_GetChildNodeID(node.get(), module); child != KNO_NO_NODE;) {
        Info info = Lookup(child, module);
        if (KNO_NodeExists(child, module)) names.push_back(info->name);
        child = info->siblingID;
    }
    return names;
}

class KnoNodes : public SampleTree {};

TEST_F(KnoNodes, NamesResolveToTheFixedIdsTheStoreReads) {
    Info root = Lookup(KNO_NODE_root);
    Info system = Child(root, "system");
    ASSERT_TRUE(system);
    EXPECT_EQ(system->nodeID, KNO_NODE_system);
    EXPECT_EQ(Child(system, "bootCmdLine")->nodeID, KNO_NODE_system_bootCmdLine);
    EXPECT_EQ(Child(system, "sysAlert")->nodeID, KNO_NODE_system_sysAlert);
    Info inodes = Child(Child(system, "lumenfs"), "inodes");
    ASSERT_TRUE(inodes);
    EXPECT_EQ(inodes->nodeID, KNO_NODE_system_lumenfs_inodes);
    EXPECT_TRUE(inodes->isInstance);
    EXPECT_TRUE(inodes->isIntegerKey);
    EXPECT_FALSE(inodes->isLeaf);
    Info stats = Child(inodes, "stats");
    EXPECT_EQ(stats->nodeID, KNO_NODE_system_lumenfs_inodes_stats);
    EXPECT_TRUE(stats->isLeaf);
    EXPECT_EQ(stats->getOutputSize, 68u);
    EXPECT_FALSE(Child(system, "nonesuch"));
    EXPECT_FALSE(Child(system, "bootcmdline"));  // names are exact
}

TEST_F(KnoNodes, RecordsCarryTheSetFormsAndSizes) {
    Info alert = Lookup(KNO_NODE_system_sysAlert);
    EXPECT_TRUE(alert->p);
    EXPECT_FALSE(alert->si);
    EXPECT_EQ(alert->getOutputSize, 0u);
    EXPECT_EQ(alert->setInputSize, 0u);

    Info scheduler = Lookup(101);
    EXPECT_TRUE(scheduler->si);
    EXPECT_EQ(scheduler->setInputSize, 14u);
    EXPECT_EQ(scheduler->getOutputSize, 14u);

    Info mtu = Lookup(204);
    EXPECT_EQ(mtu->setOutputSize, 4u);
    EXPECT_EQ(mtu->parentID, 201u);

    Info log = Lookup(102);
    EXPECT_TRUE(log->isDataNode);
    EXPECT_TRUE(log->isLeaf);
    EXPECT_EQ(log->getOutputSize, 0u);

    Info cpus = Lookup(301);
    EXPECT_EQ(cpus->flags & KNO_NODE_FLAG_TRY_INSTANCE, KNO_NODE_FLAG_TRY_INSTANCE);
    EXPECT_FALSE(cpus->isInstance);

    KNONodeInfo* none = nullptr;
    EXPECT_EQ(KNO_NodeInfoLookup(999999, 0, &none), KES_NOT_FOUND);
    EXPECT_EQ(KNO_NodeInfoLookup(1, 0, nullptr), KES_BAD_PARAM);
}

TEST_F(KnoNodes, ChildrenWalkInFileOrderAndModulesFilterThem) {
    EXPECT_EQ(ChildNames(KNO_NODE_root, 0), (std::vector<std::string>{"system", "net", "hardware", "modules"}));
    EXPECT_EQ(ChildNames(201, 0), (std::vector<std::string>{"info", "stats", "mtu", "ipv6", "queues"}));

    // /modules/<module>/params holds one child per module.
    EXPECT_EQ(ChildNames(402, 0), std::vector<std::string>{});
    EXPECT_EQ(ChildNames(402, 1), std::vector<std::string>{"cacheSize"});
    EXPECT_EQ(ChildNames(402, 2), std::vector<std::string>{"ringSize"});
    uint32_t count = 9;
    ASSERT_EQ(KNO_GetNumChildrenInt(402, 2, &count), KES_OK);
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(KNO_GetNumChildrenInt(201, 0, &count), KES_OK);
    EXPECT_EQ(count, 5u);
    Info params = Lookup(402);
    EXPECT_FALSE(Child(params, "ringSize", 1));
    EXPECT_EQ(Child(params, "ringSize", 2)->nodeID, 404u);

    Info leaf = Lookup(KNO_NODE_system_bootMAC);
    EXPECT_EQ(KNO_GetChildNodeID(leaf.get(), 0), KNO_NO_NODE);
    EXPECT_FALSE(KNO_NodeExists(999999, 0));
}

TEST_F(KnoNodes, ModuleIdComesFromTheKeyOfAModuleBranchOnly) {
    Info modules = Lookup(400);
    EXPECT_TRUE(modules->isModuleBranch);
    KNOParam key{};
    ASSERT_EQ(KNO_ParamSetString(&key, "vmxnet"), KES_OK);
    EXPECT_EQ(KNO_GetModuleID(modules.get(), &key), 2u);
    KNO_ParamFreeString(&key);
    ASSERT_EQ(KNO_ParamSetString(&key, "nosuchmodule"), KES_OK);
    EXPECT_EQ(KNO_GetModuleID(modules.get(), &key), KNO_NO_MODULE);
    KNO_ParamFreeString(&key);

    // Any other instance node is in no particular module.
    Info nics = Lookup(201);
    ASSERT_EQ(KNO_ParamSetString(&key, "vnic0"), KES_OK);
    EXPECT_EQ(KNO_GetModuleID(nics.get(), &key), 0u);
    KNO_ParamFreeString(&key);
}

TEST_F(KnoNodes, InstanceListsDependOnTheKeysAbove) {
    KNOParamList* list = nullptr;
    ASSERT_EQ(KNO_GetInstanceListAlloc(201, nullptr, &list), KES_OK);
    EXPECT_EQ(Text(list), "vnic0,vnic1");
    KNO_ParamListDestroy(list);

    ASSERT_EQ(KNO_GetInstanceListAlloc(206, Keys({"vnic0"}).get(), &list), KES_OK);
    EXPECT_EQ(Text(list), "0,1");
    EXPECT_EQ(KNO_ParamListGetParam(list, 0)->type, KNO_PARAM_INT);
    KNO_ParamListDestroy(list);
    ASSERT_EQ(KNO_GetInstanceListAlloc(206, Keys({"vnic1"}).get(), &list), KES_OK);
    EXPECT_EQ(Text(list), "0");
    KNO_ParamListDestroy(list);
    ASSERT_EQ(KNO_GetInstanceListAlloc(206, Keys({"vnic9"}).get(), &list), KES_OK);
    EXPECT_EQ(Text(list), "");
    KNO_ParamListDestroy(list);

    ASSERT_EQ(KNO_GetInstanceListAlloc(400, nullptr, &list), KES_OK);
    EXPECT_EQ(Text(list), "lumenfs,vmxnet");
    KNO_ParamListDestroy(list);
    ASSERT_EQ(KNO_GetInstanceListAlloc(301, nullptr, &list), KES_OK);
    EXPECT_EQ(Text(list), "0,1,2,3");
    KNO_ParamListDestroy(list);

    list = reinterpret_cast<KNOParamList*>(1);
    EXPECT_EQ(KNO_GetInstanceListAlloc(202, nullptr, &list), KES_BAD_PARAM);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(KNO_GetInstanceListAlloc(999999, nullptr, &list), KES_NOT_FOUND);
}

TEST_F(KnoNodes, TypeLookupsAnswerNoneForNodesWithoutThatType) {
    const KNOType* type = reinterpret_cast<const KNOType*>(1);
    ASSERT_EQ(KNO_LookupOutputTypeOfGet(KNO_NODE_system, 0, &type), KES_OK);  // a branch
    EXPECT_EQ(type, nullptr);
    ASSERT_EQ(KNO_LookupOutputTypeOfSet(204, 0, &type), KES_OK);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->name, "uint32");
    KNO_ReleaseType(type);
    ASSERT_EQ(KNO_LookupInputType(101, 0, &type), KES_OK);
    EXPECT_STREQ(type->name, "SchedConfig");
    EXPECT_EQ(type->members[2].offset, 8u);  // explicit offset after a gap
    EXPECT_EQ(type->members[3].offset, 12u);
    KNO_ReleaseType(type);
    ASSERT_EQ(KNO_LookupOutputTypeOfGet(304, 0, &type), KES_OK);
    EXPECT_EQ(type->kind, KNO_TYPE_ARRAY);
    EXPECT_EQ(type->size, 64u);
    EXPECT_STREQ(type->elementType->name, "LatencyBucket");
    KNO_ReleaseType(type);
    EXPECT_EQ(KNO_LookupOutputTypeOfGet(999999, 0, &type), KES_NOT_FOUND);
}

TEST_F(KnoNodes, EveryRecordAndHandleHandedOutIsCounted) {
    uint32_t infos = KNO_OutstandingNodeInfos(), types = KNO_OutstandingTypes();
    KNONodeInfo* info = nullptr;
    ASSERT_EQ(KNO_NodeInfoLookup(1, 0, &info), KES_OK);
    KNONodeInfo* child = nullptr;
    ASSERT_EQ(KNO_ChildNodeLookup(info, 0, "bootMAC", &child), KES_OK);
    const KNOType* type = nullptr;
    ASSERT_EQ(KNO_LookupOutputTypeOfGet(child->nodeID, 0, &type), KES_OK);
    EXPECT_EQ(KNO_OutstandingNodeInfos(), infos + 2);
    EXPECT_EQ(KNO_OutstandingTypes(), types + 1);
    KNO_NodeInfoRelease(child);
    KNO_NodeInfoRelease(info);
    KNO_ReleaseType(type);
    EXPECT_EQ(KNO_OutstandingNodeInfos(), infos);
    EXPECT_EQ(KNO_OutstandingTypes(), types);
}

} // namespace
