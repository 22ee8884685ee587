// The main dialog's list and its column captions as the window's size
// changes. At the dialog's own size (the template's, which is also the
// smallest the window takes) everything stays where the template puts it;
// a larger window gives the list its width and height, and the extra
// width goes to the columns: first to the two address columns, each until
// it has room for the longest address a row holds (39 characters, an IPv6
// address), then to every column in proportion to its width. The list's
// tab stops follow the captions, so that every field of a row starts under
// its caption. UI thread.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

namespace pw {

// The list's columns: a row is "\t#\tprotocol\tfrom\tport\tto\tport\tsize\tttl".
inline constexpr size_t kListColumns = 8;
// The columns that hold addresses ("from address", "to address").
inline constexpr size_t kAddressColumns[] = {2, 4};
// The longest address a row holds, in characters.
inline constexpr int kLongestAddress = 39;

// The captions' left edges and widths, in pixels.
struct ColumnPlaces {
  std::array<int, kListColumns> left{};
  std::array<int, kListColumns> width{};
};

// The captions of `at_template` given `extra` pixels: each address column
// grows until the distance from its caption's left to the next caption's
// left is `address_room`, the two sharing what there is; the rest goes to
// every column in proportion to that distance in the template (the last
// column's counted to its caption's right edge), what rounding leaves to
// the last column. Nothing changes for `extra` 0 or less.
ColumnPlaces WidenColumns(const ColumnPlaces& at_template, int extra, int address_room);

class ListLayout {
 public:
  // Reads the places of the list and of its captions from the initialised
  // dialog (the template's), and measures in the list's font the room of
  // the longest address.
  void take_template(HWND dialog);

  // Places the list and the captions for a client area of `width` by
  // `height` pixels (never smaller than the template's), and returns the
  // list's tab stops in dialog units of its client area.
  std::array<INT, kListColumns> arrange(int width, int height) const;

  // The window's size at the template's size: the smallest it takes.
  SIZE minimum_size() const { return minimum_; }

  // The room, in pixels, that an address column needs.
  int address_room() const { return address_room_; }

 private:
  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  std::array<HWND, kListColumns> captions_{};
  ColumnPlaces template_columns_;
  std::array<int, kListColumns> caption_top_{};
  std::array<int, kListColumns> caption_height_{};
  RECT list_place_{};      // in the client area at the template's size
  SIZE client_{};          // the client area at the template's size
  SIZE minimum_{};         // the window at the template's size
  int list_client_left_ = 0;  // where the list's client area starts, from its left edge
  int address_room_ = 0;
};

}  // namespace pw
