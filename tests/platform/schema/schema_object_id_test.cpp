// Identity of schema objects and its hash.
#include <gtest/gtest.h>

#include "tarn/platform/schema_store.h"

using TarnSchemaStore::SchemaObjectId;
using TarnSchemaStore::SchemaObjectIdHash;

// Expected values computed apart from the library (a Python rendering of the
// same multiply-xor steps over the UTF-8 bytes).
TEST(SchemaObjectId, HashMatchesIndependentlyComputedValues) {
    SchemaObjectIdHash hash;
    EXPECT_EQ(hash(SchemaObjectId("netd", "network", "segments")), 0xa9ea227fb2e3dae7ULL);
    EXPECT_EQ(hash(SchemaObjectId("", "", "")), 0x921ac8b8095cf598ULL);
    // Bytes >= 0x80 are sign-extended; taken unsigned the hash would be
    // 0x8316dfafc6e03225.
    EXPECT_EQ(hash(SchemaObjectId("caf\xc3\xa9", "\xc3\xbc", "x")), 0x0b2bf766551e427eULL);
}
