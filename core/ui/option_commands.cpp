#include "ui/option_commands.h"

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

void ApplyFlagOption(SettingsRecord& r, FlagOption option) {
  switch (option) {
    case FlagOption::kSaveSessionPreferences:
      r.SaveSessionPreferences = !r.SaveSessionPreferences;
      break;
    case FlagOption::kHexOnlyUdp:
      Choose(r.DataInHexViewOnlyUdp, r.DataInHexViewTcpAndUdp);
      break;
    case FlagOption::kHexTcpAndUdp:
      Choose(r.DataInHexViewTcpAndUdp, r.DataInHexViewOnlyUdp);
      break;
    case FlagOption::kTcpTextView:
      Choose(r.TcpDataInTextView, r.TcpDataInAsciiView);
      break;
    case FlagOption::kTcpAsciiView:
      Choose(r.TcpDataInAsciiView, r.TcpDataInTextView);
      break;
  }
}

}  // namespace pw
