// Every number that Pebblewire shares between its resources and its code:
// dialog, menu, icon, control and command ids, and its private window
// messages. Included by the resource script and by the Windows sources; the
// ids appear nowhere else as literals.
#pragma once

// Dialogs.
#define IDD_ABOUT 100    // about box
#define IDD_MAIN 102     // main dialog, titled "Pebblewire"
#define IDD_DETAILS 114  // details window, titled "packets in details"

// The popup menu: one top-level popup "&uno"; its submenu is what is shown.
#define IDR_POPUP_MENU 103

// Icons, 32x32 with 256 colours: the application icon, the notification
// icon at rest (also the first animation frame) and three more frames.
#define IDI_APP 112
#define IDI_FRAME1 113
#define IDI_FRAME2 114
#define IDI_FRAME3 115
#define IDI_FRAME4 116

// Main dialog controls.
#define IDC_GO 1002
#define IDC_LIST 1003
#define IDC_FROM 1004
#define IDC_TO 1005
#define IDC_INTERFACE 1006
#define IDC_BOTH_TRAFFIC 1007
#define IDC_ICMP 1008
#define IDC_IGMP 1009
#define IDC_STOP 1010
#define IDC_RAW 1013
#define IDC_TCP 1014
#define IDC_UDP 1015
#define IDC_ON_TOP 1019
#define IDC_LABEL_FROM 1022
#define IDC_LABEL_TO 1023
#define IDC_LABEL_INTERFACE 1024
#define IDC_CAPTION_NUMBER 1025
#define IDC_CAPTION_PROTOCOL 1026
#define IDC_CAPTION_FROM_ADDRESS 1027
#define IDC_CAPTION_FROM_PORT 1028
#define IDC_CAPTION_TO_ADDRESS 1029
#define IDC_CAPTION_TO_PORT 1030
#define IDC_CAPTION_SIZE 1031
#define IDC_CAPTION_TTL 1032

// Details window list and about text.
#define IDC_DETAILS_LIST 1011
#define IDC_ABOUT_TEXT 1018

// Popup menu commands.
#define IDM_DETAILS 108
#define IDM_EXIT 109
#define IDM_SAVE_SNIFF_LOG 110
#define IDM_ABOUT 111
#define IDM_FLIP_TO_TRAY 118
#define IDM_HEX_ONLY_UDP 119
#define IDM_TCP_TEXT_VIEW 120
#define IDM_TCP_ASCII_VIEW 121
#define IDM_HEX_TCP_AND_UDP 122
#define IDM_TRAY_ICON_ANIME 123
#define IDM_SAVE_PREFERENCES 125
#define IDM_SAVE_PACKETS 127
#define IDM_SAVE_PCAP 128     // "save as p&cap..."
#define IDM_OPEN_CAPTURE 129  // "open capture &file..."
#define IDM_CAPTURE_TO_FILE 130  // "capture &into file..."

// Private window messages (WM_USER and WM_APP come from windows.h, which
// every user includes first).
// Sent by a second start to the running main window (wParam: the second
// start's command line as a number; lParam 0). 1124.
#define PW_MSG_SECOND_INSTANCE (WM_USER + 100)
// The tag (dwData) of the WM_COPYDATA with which a second start hands the
// capture file of its command line to the running main window after 1124.
#define PW_COPYDATA_CAPTURE_FILE 0x50574346
// Callback message of the notification icon. 34002.
#define PW_MSG_TRAY_ICON (WM_APP + 1234)
// Posted by the capture thread when a session ended by itself (packet limit,
// full byte pool, failed source): wParam the reason, lParam the session's
// number. The UI thread then returns the buttons to idle.
#define PW_MSG_CAPTURE_ENDED (WM_APP + 1235)
// Posted by the about box to itself at the end of its initialisation: once
// the dialog manager has shown and activated it, the text is put back to
// unselected and scrolled to its top.
#define PW_MSG_ABOUT_SHOWN (WM_APP + 1236)
// Posted by the main dialog to itself at the end of its initialisation when
// the command line named a capture file: the file is opened.
#define PW_MSG_OPEN_START_FILE (WM_APP + 1238)

// The notification icon's identifier.
#define PW_TRAY_ICON_ID 1234
