// An intrusive doubly linked list between a head and a tail sentinel; new nodes go right after the head.
#pragma once

namespace orbel {

struct ListNode {
  int key;  // -1 in the sentinels, else the owner's handle index
  void* data;  // the owning record
  ListNode* prev;
  ListNode* next;
};

int ListInitHead(ListNode* head, ListNode* tail);
int ListInsertNode(ListNode* head, ListNode* node, int key, void* data);
int ListUnlinkNode(ListNode* node);

}  // namespace orbel
