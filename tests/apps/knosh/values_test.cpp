// get, cat and set: what set writes, get prints back in each style; the
// structure input on good and malformed text; refused parameters.
#include <gtest/gtest.h>

#include "knosh_fixture.h"

using namespace KnoshTest;

namespace {

// Settable leaves of every type kind under the root, plus stored special
// arrays (hist, mac) and two data nodes (blob stores, echo echoes).
const char* const kValueTree = R"({
  "types": [
    {"name": "u8", "kind": "base", "size": 1}, {"name": "u16", "kind": "base", "size": 2},
    {"name": "u32", "kind": "base", "size": 4}, {"name": "u64", "kind": "base", "size": 8},
    {"name": "s64", "kind": "base", "size": 8, "display": "%ld"}, {"name": "hex32", "kind": "base", "size": 4, "display": "0x%x"},
    {"name": "hexbyte", "kind": "base", "size": 1, "display": "%02x"}, {"name": "char", "kind": "base", "size": 1, "display": "%s"},
    {"name": "Text8", "kind": "array", "element": "char", "count": 8}, {"name": "Pair8", "kind": "array", "element": "u8", "count": 2},
    {"name": "Mode", "kind": "enum", "size": 1, "values": [{"name": "OFF", "value": 0, "description": "off"}, {"name": "ON", "value": 1, "description": "on"},
      {"name": "ALSO_ON", "value": 1, "description": "also on"}]},
    {"name": "Flags", "kind": "enum", "size": 2, "bitmask": true, "values": [{"name": "NONE", "value": 0, "description": "none"},
      {"name": "A", "value": 1, "description": "alpha"}, {"name": "B", "value": 2, "description": "beta"}]},
    {"name": "Inner", "kind": "struct", "members": [{"name": "x", "type": "u16"}, {"name": "y", "type": "u8"}]},
    {"name": "Rec", "kind": "struct", "members": [{"name": "n", "type": "u32"}, {"name": "m", "type": "Mode"},
      {"name": "f", "type": "Flags"}, {"name": "in", "type": "Inner"}, {"name": "t", "type": "Text8"},
      {"name": "l", "type": "Pair8"}, {"name": "b", "type": "Pair8", "description": "Bits"}]},
    {"name": "Bucket", "kind": "struct", "members": [{"name": "count", "type": "u64"}, {"name": "limit", "type": "s64"}]},
    {"name": "HistBucketArray", "kind": "array", "element": "Bucket", "count": 2},
    {"name": "EthAddressArray6", "kind": "array", "element": "hexbyte", "count": 6},
    {"name": "IPv6Address", "kind": "array", "element": "hexbyte", "count": 4}
  ],
  "nodes": [
    {"id": 0, "name": "root"},
    {"id": 101, "name": "num", "parent": 0, "leaf": true, "get": "hex32", "set": {"output": "hex32"}},
    {"id": 102, "name": "mode", "parent": 0, "leaf": true, "get": "Mode", "set": {}},
    {"id": 103, "name": "flags", "parent": 0, "leaf": true, "get": "Flags", "set": {}},
    {"id": 104, "name": "text", "parent": 0, "leaf": true, "get": "Text8", "set": {}},
    {"id": 105, "name": "ip", "parent": 0, "leaf": true, "get": "IPv6Address", "set": {}},
    {"id": 106, "name": "rec", "parent": 0, "leaf": true, "get": "Rec", "set": {"input": "Rec"}},
    {"id": 107, "name": "blob", "parent": 0, "leaf": true, "data": true, "set": {}},
    {"id": 108, "name": "echo", "parent": 0, "leaf": true, "data": true, "set": {"action": "echo"}},
    {"id": 109, "name": "hist", "parent": 0, "leaf": true, "get": "HistBucketArray"},
    {"id": 110, "name": "mac", "parent": 0, "leaf": true, "get": "EthAddressArray6"},
    {"id": 111, "name": "big", "parent": 0, "leaf": true, "get": "u64"}
  ],
  "values": [{"node": 109, "value": [{"count": 5, "limit": 10}, {"count": 1, "limit": -1}]},
    {"node": 110, "value": [0, 80, 86, 161, 178, 195]}, {"node": 111, "value": 4294967296}]
})";

class ValueTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        tree_ = WriteTree(kValueTree, "values.json");
        options.cacheFile = tree_.c_str();
        Captured([] { ASSERT_EQ(KNOSH_Init(), 0); });
    }
    // What get prints in each style: default, raw, python (the table taken
    // when none is given).
    std::vector<std::string> Styles(const std::string& path) {
        std::vector<std::string> all;
        const KNOSHOutputTable* const tables[] = {knoshDefaultOutputPtr, knoshRawOutputPtr, nullptr};
        for (const KNOSHOutputTable* table : tables) {
            KNOSH_InitRoot(table);
            all.push_back(Out("get " + path));
        }
        KNOSH_InitRoot(knoshDefaultOutputPtr);
        return all;
    }
    // The status text a failing line reports.
    std::string Failure(const std::string& line) {
        std::string err;
        EXPECT_EQ(Run(line, nullptr, &err), 2) << line;
        size_t at = err.rfind(": ");
        return at == std::string::npos ? err : err.substr(at + 2);
    }
    std::string tree_;
};

std::string Pad(size_t n) { return std::string(n, ' '); }

} // namespace

TEST_F(ValueTest, WhatSetWritesGetPrintsInEachStyle) {
    struct Case { const char* set; const char* path; std::vector<std::string> styles; };
    const std::string dump = "00000000  ab 0c 20 7f " + Pad(4 * 3 + 1 + 8 * 3) + " |.. .|\n00000004\n";
    const Case cases[] = {
        {"set num 0x1234", "num", {"0x1234\n", "0x00001234\n", "4660\n"}},
        {"set mode ON", "mode", {" 1 -> on\n", "1\n", "1\n"}},
        {"set mode 5", "mode", {" 5 -> No matching defined enum value found.\n", "5\n", "5\n"}},
        {"set flags 3", "flags", {" 0x3 -> alpha beta\n", "0x3\n", "0x3\n"}},
        {"set flags 0", "flags", {" 0 -> none\n", "0\n", "0\n"}},
        {"set text \"a b\"", "text", {"a b\n", "a b\n", "\"a b\"\n"}},
        {"set text 1bcdefgh", "text", {"1bcdefgh\n", "1bcdefgh\n", "\"1bcdefgh\"\n"}},  // not a number: a text
        {"set ip 0xfe 0x80 0 1", "ip", {"fe80:0001\n", "[0]: 0xfe\n[1]: 0x80\n[2]: 0x00\n[3]: 0x01\n", "[\n254,\n128,\n0,\n1,\n]\n"}},
        {"set rec {0x100000000, 1, 65538, {513, 256}, \"abcdefgh\", [1, 2], (0, 9-10, 15-15)}", "rec",
         {"Rec {\n   n:4294967295\n   m: 1 -> on\n   f: 0xffff -> alpha beta\n   in:Inner {\n      x:513\n      y:255\n   }\n   t:abcdefgh\n"
          "   l:[0]: 1\n   [1]: 2\n   Bits:[0]: 1\n   [1]: 134\n}\n",
          "{\n   n:0xffffffff\n   m:1\n   f:0xffff\n   in:{\n      x:0x0201\n      y:0xff\n   }\n   t:abcdefgh\n"
          "   l:[0]: 0x01\n   [1]: 0x02\n   b:[0]: 0x01\n   [1]: 0x86\n}\n",
          "{\n   \"n\" : 4294967295,\n   \"m\" : 1,\n   \"f\" : 0xffff,\n   \"in\" : {\n      \"x\" : 513,\n      \"y\" : 255,\n   },\n"
          "   \"t\" : \"abcdefgh\",\n   \"l\" :    [\n1,\n   2,\n   ],\n   \"b\" :    [\n1,\n   134,\n   ],\n}\n"}},
        {"set blob ab c 207f", "blob", {dump, dump, dump}},
        {"", "big", {"4294967296\n", "0x0000000100000000\n", "4294967296\n"}},
        {"", "mac", {"005056a1b2c3\n", "[0]: 0x00\n[1]: 0x50\n[2]: 0x56\n[3]: 0xa1\n[4]: 0xb2\n[5]: 0xc3\n"}},
        {"", "hist", {" {\n   5" + Pad(17) + " (<= " + Pad(16) + "10)\n   1" + Pad(17) + " (>  " + Pad(16) + "-1)\n}\n"}},
    };
    for (const Case& c : cases) {
        if (*c.set) Out(c.set);
        const auto styles = Styles(c.path);
        for (size_t i = 0; i < c.styles.size() && !c.styles[i].empty(); ++i) EXPECT_EQ(styles[i], c.styles[i]) << c.set << " style " << i;
    }
}

TEST_F(ValueTest, DataNodesAndSetOutput) {
    EXPECT_EQ(Out("get blob"), "00000000\n") << "empty";
    EXPECT_EQ(Out("set blob 000102030405060708090a0b0c0d0e0f 4142"), "") << "a store echoes nothing";
    EXPECT_EQ(Out("cat blob"), "00000000  00 01 02 03 04 05 06 07  08 09 0a 0b 0c 0d 0e 0f  |................|\n"
                               "00000010  41 42 " + Pad(6 * 3 + 1 + 8 * 3) + " |AB|\n00000012\n");
    EXPECT_EQ(Out("set echo 4A42"), "00000000  4a 42 " + Pad(6 * 3 + 1 + 8 * 3) + " |JB|\n00000002\n");
    EXPECT_EQ(Out("set num 0x10"), "0x10\n") << "the set's output";
    EXPECT_EQ(Failure("set blob 4g"), KES_ReturnStatusToString(KES_BAD_PARAM));
    std::string err;  // a number past 64 bits is refused as such, not saturated
    EXPECT_EQ(Run("set num 99999999999999999999999", nullptr, &err), 2);
    EXPECT_EQ(err, "Error: invalid number '99999999999999999999999' given: Numerical result out of range.\n"
                   "Error: Error in command set: Bad parameter");
    EXPECT_EQ(Out("get num text"), "0x10\n\n") << "two paths";
    EXPECT_EQ(Out("get nosuch num", 2), "\n") << "stops at the first failing path";
    EXPECT_EQ(Failure("get /"), KES_ReturnStatusToString(KES_FAILURE));
    EXPECT_EQ(Failure("get"), KES_ReturnStatusToString(KES_INCOMPLETE));
}

// Malformed structure text and refused parameters change nothing.
TEST_F(ValueTest, RefusedInputLeavesTheValue) {
    Out("set rec {7, 1, 2, {513, 9}, \"hi\", [1, 2], (0, 9-10)}");
    Out("set num 0x10");
    Out("set text abc");
    const std::string rec = Out("get rec");
    const std::pair<const char*, KES_ReturnStatus> cases[] = {
        {"{1,1, 2, {1, 2}, \"a\", [1, 2], (0)}", KES_BAD_PARAM}, {"{1}", KES_INCOMPLETE}, {"{1, 1, }", KES_INCOMPLETE},
        {"{1, 1,}", KES_INCOMPLETE}, {"{1, 1, 2, {1,}, \"a\", [1, 2], (0)}", KES_INCOMPLETE}, {"{x, 1}", KES_BAD_PARAM}, {"{1 2}", KES_BAD_PARAM}, {"1, 2", KES_BAD_PARAM},
        {"{1, 1, 2, {1, 2}, \"a\", [1, 2], (0) 5}", KES_FAILURE}, {"{1, 1, 2, {1, 2}, \"a\", [1, 2], (0)} }", KES_FAILURE},
        {"{1, 1, 2, 3, \"a\", [1, 2], (0)}", KES_BAD_PARAM}, {"{{1}, 1}", KES_BAD_PARAM},
        {"{1, 1, 2, {1, 2}, \"toolong12\", [1, 2], (0)}", KES_BAD_PARAM},
        {"{1, 1, 2, {1, 2}, 5, [1, 2], (0)}", KES_NOT_SUPPORTED}, {"{1, 1, 2, {1, 2}, \"a\", [1], (0)}", KES_INCOMPLETE},
        {"{1, 1, 2, {1, 2}, \"a\", [1, 2, 3], (0)}", KES_INCOMPLETE}, {"{1, 1, 2, {1, 2}, \"a\", [1, 2], (16)}", KES_BAD_PARAM},
        {"{1, 1, 2, {1, 2}, \"a\", [1, 2], (3-1)}", KES_BAD_PARAM}, {"{1, 1, 2, {1, 2}, \"a\", [1, 2], (1-)}", KES_BAD_PARAM},
        {"{1, 1, 2, {1, 2}, \"a\", [1, 2], (1-2-3)}", KES_BAD_PARAM}, {"{1, 1, 2, {1, 2}, \"a\", [1, 2], (0-15}", KES_BAD_PARAM},
    };
    for (const auto& [text, status] : cases)
        EXPECT_EQ(Failure(std::string("set rec ") + text), KES_ReturnStatusToString(status)) << text;
    EXPECT_EQ(Failure("set rec " + std::string(100000, '{') + "}"), KES_ReturnStatusToString(KES_BAD_PARAM));
    EXPECT_EQ(Failure("set rec"), KES_ReturnStatusToString(KES_BAD_PARAM)) << "no value";
    EXPECT_EQ(Out("get rec"), rec);
    // A refused parameter ends the command before anything is set.
    EXPECT_EQ(Failure("set num 99999999999999999999"), KES_ReturnStatusToString(KES_BAD_PARAM));
    EXPECT_EQ(Failure("set text \"abc\"x"), KES_ReturnStatusToString(KES_BAD_PARAM));
    EXPECT_EQ(Out("get num text"), "0x10\nabc\n");
}

// Each refusal writes its cause before the command's status.
TEST_F(ValueTest, RefusalsNameTheirCause) {
    options.logLevel = 1;
    const std::string rec = "set rec {1, 1, 2, {1, 2}, ", failed = "KNOSHCmdSet():CreateStructInput failed: Bad parameter\n";
    const std::pair<std::string, std::string> cases[] = {
        {"get /", "KNOSHCmdGetInt():get only works on a leaf\n"},
        {"get dir", "KNOSHPath_Form():Extraneous 'dir' in path.\nKNOSHCmdGetInt():mal-formed path\n"},
        {"set blob 4g", "KNOSHCreateInputData():expecting hex bytes; got 'g'\nKNOSHCmdSet():Failed to create input data: Bad parameter\n"},
        {rec + "\"toolong12\", [1, 2], (0)}", "KNOSHHandleStringElement():String parameter is too long\n" + failed},
        {rec + "\"a\", [1, 2], (16)}",
         "KNOSHHandleBitsetElement():Bitset value 16 exceeds highest permitted bitset value 15\n" + failed},
        {rec + "\"a\", [1, 2], (3-1)}", "KNOSHHandleBitsetElement():Bitset end value 1 is smaller than bitset start value 3\n" + failed},
        {rec + "5, [1, 2], (0)}", "KNOSHCreateStructInput():Element type (1) is not supported.\n"
                                  "KNOSHCmdSet():CreateStructInput failed: Not supported\n"},
        {"set text \"abc\"x", "Error: unmatched quote: '\"abc\"x'\n"},
        {"set rec", "KNOSHCreateInputString():Failed to create input string Bad parameter\n"},
    };
    for (const auto& [line, cause] : cases) {
        std::string err;
        EXPECT_EQ(Run(line, nullptr, &err), 2) << line;
        EXPECT_EQ(err.substr(0, err.rfind("Error: Error in command ")), cause) << line;
    }
}
