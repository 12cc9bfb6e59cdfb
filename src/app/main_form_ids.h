#pragma once

// Names by which the main window and its controls are found, from inside and from other
// processes (the end-to-end tests read the status label from outside).
namespace quorvanel {

inline constexpr char kMainFormClassName[] = "QuorvanelMainForm";
inline constexpr char kMainFormCaption[] = "Quorvanel MSN Chat Bot";

inline constexpr int kIdConversations = 101;   // lstConversations
inline constexpr int kIdEnableDefault = 102;   // chkEnableDefault
inline constexpr int kIdNumChatWindows = 103;  // txtNumChatWindows
inline constexpr int kIdAdvert = 104;          // wbAdvert

// Menu items.
inline constexpr int kIdMenuOptions = 201;          // mnuOptions
inline constexpr int kIdMenuExit = 202;             // mnuExit
inline constexpr int kIdMenuHelp = 203;             // Help (F1)
inline constexpr int kIdMenuAboutQuorvanel = 204;   // mnuAboutQuorvanel
inline constexpr int kIdMenuRecord = 205;           // what was said in the user's name
// The conversation list's context menu: the contact's own rule.
inline constexpr int kIdMenuAlwaysAnswer = 211;
inline constexpr int kIdMenuNeverAnswer = 212;
inline constexpr int kIdMenuDefaultRule = 213;

// Posted by the news request's worker when the page has come (or failed to): the news panel's
// document-complete event.
inline constexpr unsigned kNewsCompleteMessage = 0x8000 + 1;  // WM_APP + 1

// The tray icon's identifier and callback message (the mouse-move message).
inline constexpr unsigned kTrayIconId = 1;
inline constexpr unsigned kTrayCallbackMessage = 512;

}  // namespace quorvanel
