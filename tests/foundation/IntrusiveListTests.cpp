// The walks of records linked through their own `next`.
#include "core/IntrusiveList.h"

#include <gtest/gtest.h>

#include <vector>

namespace vela::test {
namespace {

struct Node {
    int id;
    Node* next;
};

// Three records 1, 2, 3 linked in that order through a head.
struct ThreeNodes {
    ThreeNodes() {
        for (Node& node : nodes) {
            List().Append(&node);
        }
    }
    IntrusiveList<Node> List() { return IntrusiveList<Node>(head); }
    std::vector<int> Ids() {
        std::vector<int> ids;
        List().ForEach([&ids](const Node* node) { ids.push_back(node->id); });
        return ids;
    }
    Node nodes[3] = {{1, nullptr}, {2, nullptr}, {3, nullptr}};
    Node* head = nullptr;
};

TEST(IntrusiveList, AppendKeepsOrderAndEndsTheList) {
    ThreeNodes list;
    EXPECT_EQ(list.Ids(), (std::vector<int>{1, 2, 3}));
    Node stale{4, &list.nodes[0]};
    list.List().Append(&stale);
    // Checked first: a stale link would make the walk below endless.
    ASSERT_EQ(stale.next, nullptr);
    EXPECT_EQ(list.Ids(), (std::vector<int>{1, 2, 3, 4}));
}

TEST(IntrusiveList, FindGivesTheFirstMatch) {
    ThreeNodes list;
    list.nodes[2].id = 2;
    EXPECT_EQ(list.List().Find([](const Node* node) { return node->id == 2; }), &list.nodes[1]);
    EXPECT_EQ(list.List().Find([](const Node* node) { return node->id == 4; }), nullptr);
}

TEST(IntrusiveList, UnlinkTakesOutTheFirstMatchOnly) {
    struct UnlinkCase {
        int id;
        bool found;
        std::vector<int> left;
    };
    const UnlinkCase cases[] = {
        {1, true, {2, 3}}, {2, true, {1, 3}}, {3, true, {1, 2}}, {4, false, {1, 2, 3}}};
    for (const UnlinkCase& test : cases) {
        SCOPED_TRACE(test.id);
        ThreeNodes list;
        Node* taken = list.List().Unlink([&test](const Node* node) { return node->id == test.id; });
        EXPECT_EQ(taken, test.found ? &list.nodes[test.id - 1] : nullptr);
        if (taken != nullptr) {
            EXPECT_EQ(taken->next, nullptr);
        }
        EXPECT_EQ(list.Ids(), test.left);
    }
}

TEST(IntrusiveList, ReleaseAllEmptiesTheListBeforeReleasingInOrder) {
    ThreeNodes list;
    std::vector<int> released;
    list.List().ReleaseAll([&](Node* node) {
        EXPECT_EQ(list.head, nullptr);
        released.push_back(node->id);
        // A release may reuse the record: its link was read already.
        node->next = node;
    });
    EXPECT_EQ(released, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.head, nullptr);
}

} // namespace
} // namespace vela::test
