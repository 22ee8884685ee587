#include "app/option_commands.h"

#include "res/resource.h"

namespace pw {
namespace {

// The chosen item becomes checked unless it was, and its partner the
// opposite.
void Choose(bool& chosen, bool& partner) {
  const bool was = chosen;
  chosen = !was;
  partner = was;
}

}  // namespace

bool ApplyFlagOption(SettingsRecord& r, int id) {
  switch (id) {
    case IDM_SAVE_PREFERENCES:
      r.SaveSessionPreferences = !r.SaveSessionPreferences;
      return true;
    case IDM_HEX_ONLY_UDP:
      Choose(r.DataInHexViewOnlyUdp, r.DataInHexViewTcpAndUdp);
      return true;
    case IDM_HEX_TCP_AND_UDP:
      Choose(r.DataInHexViewTcpAndUdp, r.DataInHexViewOnlyUdp);
      return true;
    case IDM_TCP_TEXT_VIEW:
      Choose(r.TcpDataInTextView, r.TcpDataInAsciiView);
      return true;
    case IDM_TCP_ASCII_VIEW:
      Choose(r.TcpDataInAsciiView, r.TcpDataInTextView);
      return true;
    default:
      return false;
  }
}

}  // namespace pw
