// The intrusive list between two sentinels.
#include "orbel/core/list.h"

namespace orbel {

int ListInitHead(ListNode* head, ListNode* tail) {
  head->key = -1;
  head->data = nullptr;
  head->prev = nullptr;
  head->next = tail;
  tail->key = -1;
  tail->data = nullptr;
  tail->prev = head;
  tail->next = nullptr;
  return 0;
}

int ListInsertNode(ListNode* head, ListNode* node, int key, void* data) {
  node->key = key;
  node->data = data;
  node->prev = head;
  node->next = head->next;
  head->next->prev = node;
  head->next = node;
  return 0;
}

int ListUnlinkNode(ListNode* node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
  return 0;
}

}  // namespace orbel
