// The intrusive list between two sentinels: new nodes come first, unlinking joins the neighbours.
#include "orbel/core/list.h"

#include <gtest/gtest.h>

#include <vector>

namespace orbel {
namespace {

std::vector<int> Keys(const ListNode& head) {
  std::vector<int> keys;
  for (const ListNode* n = head.next; n->next != nullptr; n = n->next) keys.push_back(n->key);
  return keys;
}

TEST(List, InsertAfterHeadAndUnlink) {
  ListNode head{}, tail{}, a{}, b{}, c{};
  int owner = 0;
  ListInitHead(&head, &tail);
  EXPECT_TRUE(Keys(head).empty());
  EXPECT_EQ(head.key, -1);
  EXPECT_EQ(tail.prev, &head);

  ListInsertNode(&head, &a, 1, &owner);
  ListInsertNode(&head, &b, 2, nullptr);
  EXPECT_EQ(Keys(head), (std::vector<int>{2, 1}));
  EXPECT_EQ(a.data, &owner);
  ListUnlinkNode(&b);
  EXPECT_EQ(Keys(head), (std::vector<int>{1}));
  ListInsertNode(&head, &c, 3, nullptr);
  ListUnlinkNode(&a);
  EXPECT_EQ(Keys(head), (std::vector<int>{3}));
  EXPECT_EQ(tail.prev, &c);
  ListUnlinkNode(&c);
  EXPECT_EQ(head.next, &tail);
  EXPECT_EQ(tail.prev, &head);
}

}  // namespace
}  // namespace orbel
