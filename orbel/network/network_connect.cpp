// The connection-making side: starting the layer (WinSock and the network window), the listening slot
// on 127.0.0.1, the adoption of a connected socket, and the settings for handles made from now on.
// Depends on: the handle state and accept halves (network_handles.cpp), the WinSock and window
// stand-ins, tracked memory, the log.
#include "orbel/network/network_connect.h"

#include "orbel/core/list.h"
#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/network/network_state.h"
#include "orbel/network/network_system.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"

namespace orbel {

namespace {

constexpr char kWindowClassName[] = "OrbelNetWorkWindow";
constexpr plat::WORD kWinsockVersion = 0x0101;
constexpr int kListenBacklog = 128;
constexpr uint8_t kLoopback[4] = {127, 0, 0, 1};

plat::LRESULT NetWorkWindowProc(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
  switch (message) {
    case kSocketNoticeMessage:
      return ProcessSocketMessage(wParam, lParam);
    case plat::WM_DESTROY:
      if (window == NetWorkState.NetWorkWindow) NetWorkState.WindowGoneFlag = 1;
      return 0;
    default:
      return plat::DefWindowProcA(window, message, wParam, lParam);
  }
}

plat::SOCKADDR_IN LoopbackAddress(int port) {
  plat::SOCKADDR_IN address{};
  address.sin_family = plat::AF_INET_WS;
  address.sin_port = static_cast<uint16_t>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF));  // network order
  for (int i = 0; i < 4; ++i) address.sin_addr[i] = kLoopback[i];
  return address;
}

int FailWithSocket(plat::SOCKET socket, const char* text) {
  LogNetworkError("%s", text);
  plat::closesocket(socket);
  return -1;
}

}  // namespace

int StartNetWork() {
  if (NetWorkState.StartFlag != 0) return 0;
  plat::WSADATA data;
  if (plat::WSAStartup(kWinsockVersion, &data) != 0) {
    LogAdd("WinSock の初期化に失敗しました\n");
    return -1;
  }
  plat::WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = NetWorkWindowProc;
  windowClass.lpszClassName = kWindowClassName;
  plat::RegisterClassExA(&windowClass);  // fails harmlessly when an earlier start registered it
  plat::HWND window = plat::CreateWindowExA(0, kWindowClassName, "", 0, 0, 0, 0, 0, plat::HWND_MESSAGE, nullptr,
                                            nullptr, nullptr);
  if (window == nullptr) {
    LogAdd("ネットワーク用ウインドウの作成に失敗しました\n");
    plat::WSACleanup();
    return -1;
  }
  ListInitHead(&NetWorkState.LiveHead, &NetWorkState.LiveTail);
  NetWorkState.NetWorkWindow = window;
  NetWorkState.WindowGoneFlag = 0;
  NetWorkState.StartFlag = 1;
  return 0;
}

void SetNetWorkRawMode(int raw) { NetWorkState.RawModeSetting = raw != 0 ? 1 : 0; }

void SetKeepLostNetWorkHandle(int keep) { NetWorkState.KeepLostHandleSetting = keep != 0 ? 1 : 0; }

int PrepareListenNetWork(int port) {
  if (port < 0 || port > 0xFFFF || StartNetWork() != 0) return -1;
  if (NetWorkState.HandleTable[kNetWorkListenSlot] != nullptr) return -1;
  const plat::SOCKET socket = plat::socket(plat::AF_INET_WS, plat::SOCK_STREAM_WS, plat::IPPROTO_TCP_WS);
  if (socket == plat::INVALID_SOCKET) return LogNetworkError("socketの作成に失敗しました");
  plat::SOCKADDR_IN address = LoopbackAddress(port);
  int length = sizeof address;
  if (plat::bind(socket, &address, length) != 0) return FailWithSocket(socket, "bindに失敗しました");
  if (plat::listen(socket, kListenBacklog) != 0) return FailWithSocket(socket, "listenに失敗しました");
  if (plat::getsockname(socket, &address, &length) != 0) return FailWithSocket(socket, "getsocknameに失敗しました");

  auto* record = static_cast<NetWorkHandleRecord*>(MemCalloc(sizeof(NetWorkHandleRecord), "", 0));
  if (record == nullptr) {
    LogAdd("ソケット用のメモリの確保に失敗しました\n");
    plat::closesocket(socket);
    return -1;
  }
  // The listener never connects, frames or closes itself: only FD_ACCEPT is served for it.
  record->UseFlag = 1;
  record->Socket = socket;
  record->CheckNumber = NetWorkState.CheckCounter;
  ListInsertNode(&NetWorkState.LiveHead, &record->LiveNode, MakeNetWorkHandle(record->CheckNumber, kNetWorkListenSlot),
                 record);
  NetWorkState.HandleTable[kNetWorkListenSlot] = record;
  if (plat::WSAAsyncSelect(socket, NetWorkState.NetWorkWindow, kSocketNoticeMessage, plat::FD_ACCEPT) ==
      plat::SOCKET_ERROR) {
    LogNetworkError("WSAAsyncSelectのエラー in PrepareListenNetWork");
    return UndoConnectionRecord(kNetWorkListenSlot);
  }
  TakeCheckNumber();  // the number the record already carries
  ++NetWorkState.HandleCount;
  return (address.sin_port >> 8) | ((address.sin_port & 0xFF) << 8);
}

int32_t AdoptNetWorkSocket(plat::SOCKET socket) {
  if (StartNetWork() != 0) {
    plat::closesocket(socket);
    return -1;
  }
  plat::SOCKADDR_IN peer{};
  int length = sizeof peer;
  if (plat::getpeername(socket, &peer, &length) != 0) return FailWithSocket(socket, "getpeernameに失敗しました");
  const int slot = BeginConnectionRecord();
  if (slot < 0) {
    plat::closesocket(socket);
    return -1;
  }
  return FinishConnectionRecord(slot, socket, peer, "WSAAsyncSelectのエラー in AdoptNetWorkSocket");
}

int32_t ConnectNetWorkLoopback(int port) {
  if (port <= 0 || port > 0xFFFF || StartNetWork() != 0) return -1;
  const plat::SOCKET socket = plat::socket(plat::AF_INET_WS, plat::SOCK_STREAM_WS, plat::IPPROTO_TCP_WS);
  if (socket == plat::INVALID_SOCKET) return LogNetworkError("socketの作成に失敗しました");
  const plat::SOCKADDR_IN address = LoopbackAddress(port);
  if (plat::connect(socket, &address, sizeof address) != 0) return FailWithSocket(socket, "connectに失敗しました");
  return AdoptNetWorkSocket(socket);
}

int32_t GetLastMadeNetWorkHandle() {
  if (NetWorkState.StartFlag == 0) return -1;
  const ListNode* first = NetWorkState.LiveHead.next;
  if (first == nullptr || first->next == nullptr) return -1;
  return first->key;
}

}  // namespace orbel
