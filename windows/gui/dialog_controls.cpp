#include "gui/dialog_controls.h"

#include <vector>

#include "res/resource.h"

namespace pw {

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool on) {
  CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

std::string ControlText(HWND dialog, int id, size_t room) {
  std::vector<char> text(room + 1, '\0');
  GetDlgItemTextA(dialog, id, text.data(), static_cast<int>(text.size()));
  return text.data();
}

void PlaceOnTop(HWND dialog, bool on_top) {
  SetWindowPos(dialog, on_top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE);
}

void ShowSettingsControls(HWND dialog, const SettingsControls& controls) {
  SetDlgItemTextA(dialog, IDC_INTERFACE, controls.bind_to_interface.c_str());
  SetDlgItemTextA(dialog, IDC_FROM, controls.from_field.c_str());
  SetDlgItemTextA(dialog, IDC_TO, controls.to_field.c_str());
  SetChecked(dialog, IDC_BOTH_TRAFFIC, controls.two_way_traffic);
  SetChecked(dialog, IDC_ON_TOP, controls.on_top);
  if (controls.on_top) PlaceOnTop(dialog, true);
  SetChecked(dialog, IDC_TCP, controls.tcp);
  SetChecked(dialog, IDC_UDP, controls.udp);
  SetChecked(dialog, IDC_ICMP, controls.icmp);
  SetChecked(dialog, IDC_IGMP, controls.igmp);
  SetChecked(dialog, IDC_RAW, controls.raw);
}

SettingsControls ReadSettingsControls(HWND dialog) {
  SettingsControls controls;
  controls.bind_to_interface = ControlText(dialog, IDC_INTERFACE);
  controls.from_field = ControlText(dialog, IDC_FROM);
  controls.to_field = ControlText(dialog, IDC_TO);
  controls.two_way_traffic = Checked(dialog, IDC_BOTH_TRAFFIC);
  controls.on_top = Checked(dialog, IDC_ON_TOP);
  controls.tcp = Checked(dialog, IDC_TCP);
  controls.udp = Checked(dialog, IDC_UDP);
  controls.icmp = Checked(dialog, IDC_ICMP);
  controls.igmp = Checked(dialog, IDC_IGMP);
  controls.raw = Checked(dialog, IDC_RAW);
  return controls;
}

StartRequest ReadStartRequest(HWND dialog, SettingsControls& controls) {
  controls = ReadSettingsControls(dialog);
  controls.bind_to_interface = ControlText(dialog, IDC_INTERFACE, kInterfaceTextMax);
  StartRequest request;
  request.from_field = controls.from_field;
  request.to_field = controls.to_field;
  request.both_traffic = controls.two_way_traffic;
  request.protocols.tcp = controls.tcp;
  request.protocols.udp = controls.udp;
  request.protocols.icmp = controls.icmp;
  request.protocols.igmp = controls.igmp;
  request.protocols.raw = controls.raw;
  return request;
}

}  // namespace pw
