// The host that stands in when no display can be opened (or ORBEL_HOST names no host): it keeps the
// default desktop, but makes no window and shows no box, so a program's start fails as it would where the
// system refused its main window. Nothing runs on where nobody sees it, holding its locks.
#include "platform/host/host.h"

namespace plat::host {
namespace {

class NoDisplayHost final : public Host {
 public:
  const char* Name() const override { return "none"; }
  DesktopMode Desktop() const override { return mode_; }
  bool CreateHostWindow(HWND, const WindowSpec&) override { return false; }
  // A box that cannot be shown answers 0, as a failed message box does.
  int ShowMessageBox(HWND, const char*, const char*, UINT) override { return 0; }
};

}  // namespace

std::unique_ptr<Host> CreateNoDisplayHost() { return std::make_unique<NoDisplayHost>(); }

}  // namespace plat::host
