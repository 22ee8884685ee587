#include "gui/list_layout.h"

#include <algorithm>
#include <numeric>

#include "res/resource.h"

namespace pw {
namespace {

// A tab stop must lie right of the start of the line, or the row's first
// tab would pass it (dialog units).
constexpr INT kFirstStopMin = 2;
// The characters of an IPv6 address: 32 hexadecimal digits, 7 colons.
constexpr int kAddressDigits = 32;
constexpr int kAddressColons = kLongestAddress - kAddressDigits;
constexpr char kHexDigits[] = "0123456789abcdef";

RECT PlaceInParent(HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

int TextWidth(HDC dc, const char* text, int length) {
  SIZE size{};
  GetTextExtentPoint32A(dc, text, length, &size);
  return size.cx;
}

// The room of the longest address in the list's font, with two blanks
// before the next column.
int AddressRoom(HWND list) {
  HDC dc = GetDC(list);
  if (dc == nullptr) return 0;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
  int digit = 0;
  for (int i = 0; i < 16; ++i) digit = std::max(digit, TextWidth(dc, kHexDigits + i, 1));
  const int room = kAddressDigits * digit + kAddressColons * TextWidth(dc, ":", 1) +
                   TextWidth(dc, "  ", 2);
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  return room;
}

}  // namespace

ColumnPlaces WidenColumns(const ColumnPlaces& at_template, int extra, int address_room) {
  ColumnPlaces out = at_template;
  if (extra <= 0) return out;
  std::array<int, kListColumns> span{};
  for (size_t i = 0; i + 1 < kListColumns; ++i) {
    span[i] = at_template.left[i + 1] - at_template.left[i];
  }
  span[kListColumns - 1] = at_template.width[kListColumns - 1];

  std::array<int, kListColumns> grow{};
  const size_t first = kAddressColumns[0], second = kAddressColumns[1];
  const int need_first = std::max(0, address_room - span[first]);
  const int need_second = std::max(0, address_room - span[second]);
  const int shared = std::min(extra, need_first + need_second);
  grow[first] = std::min(need_first, shared - shared / 2);
  grow[second] = std::min(need_second, shared - grow[first]);
  grow[first] = std::min(need_first, shared - grow[second]);

  const int rest = extra - grow[first] - grow[second];
  const int total = std::max(1, std::accumulate(span.begin(), span.end(), 0));
  int given = 0;
  for (size_t i = 0; i < kListColumns; ++i) {
    const int share = static_cast<int>(static_cast<long long>(rest) * std::max(0, span[i]) / total);
    grow[i] += share;
    given += share;
  }
  grow[kListColumns - 1] += rest - given;

  int shift = 0;
  for (size_t i = 0; i < kListColumns; ++i) {
    out.left[i] = at_template.left[i] + shift;
    out.width[i] = at_template.width[i] + grow[i];
    shift += grow[i];
  }
  return out;
}

void ListLayout::take_template(HWND dialog) {
  dialog_ = dialog;
  list_ = GetDlgItem(dialog, IDC_LIST);
  RECT client{}, frame{};
  GetClientRect(dialog, &client);
  GetWindowRect(dialog, &frame);
  client_ = {client.right, client.bottom};
  minimum_ = {frame.right - frame.left, frame.bottom - frame.top};
  list_place_ = PlaceInParent(list_);
  POINT origin{0, 0};
  ClientToScreen(list_, &origin);
  RECT list_frame{};
  GetWindowRect(list_, &list_frame);
  list_client_left_ = origin.x - list_frame.left;
  for (size_t i = 0; i < kListColumns; ++i) {
    captions_[i] = GetDlgItem(dialog, IDC_CAPTION_NUMBER + static_cast<int>(i));
    const RECT place = PlaceInParent(captions_[i]);
    template_columns_.left[i] = place.left;
    template_columns_.width[i] = place.right - place.left;
    caption_top_[i] = place.top;
    caption_height_[i] = place.bottom - place.top;
  }
  address_room_ = AddressRoom(list_);
}

std::array<INT, kListColumns> ListLayout::arrange(int width, int height) const {
  const int extra_width = std::max(0, width - static_cast<int>(client_.cx));
  const int extra_height = std::max(0, height - static_cast<int>(client_.cy));
  const ColumnPlaces columns = WidenColumns(template_columns_, extra_width, address_room_);

  HDWP moves = BeginDeferWindowPos(static_cast<int>(kListColumns) + 1);
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (moves != nullptr) {
    moves = DeferWindowPos(moves, list_, nullptr, list_place_.left, list_place_.top,
                           list_place_.right - list_place_.left + extra_width,
                           list_place_.bottom - list_place_.top + extra_height, flags);
  }
  for (size_t i = 0; i < kListColumns && moves != nullptr; ++i) {
    moves = DeferWindowPos(moves, captions_[i], nullptr, columns.left[i], caption_top_[i],
                           columns.width[i], caption_height_[i], flags);
  }
  if (moves != nullptr) EndDeferWindowPos(moves);
  InvalidateRect(dialog_, nullptr, TRUE);

  // Pixels from the list's client area to dialog units, through the
  // dialog's base units (the list shows the dialog's font).
  RECT units = {0, 0, 4, 0};
  MapDialogRect(dialog_, &units);
  const int four_units = std::max(1L, units.right);
  std::array<INT, kListColumns> stops{};
  const int client_left = list_place_.left + list_client_left_;
  INT previous = kFirstStopMin - 1;
  for (size_t i = 0; i < kListColumns; ++i) {
    const int pixels = columns.left[i] - client_left;
    const INT stop = MulDiv(pixels, 4, four_units);
    stops[i] = std::max(stop, previous + 1);
    previous = stops[i];
  }
  return stops;
}

}  // namespace pw
