#pragma once

// Names by which the main window and its controls are found, from inside and from other
// processes (the end-to-end tests read the status label from outside).
namespace quorvanel {

inline constexpr char kMainFormClassName[] = "QuorvanelMainForm";
inline constexpr char kMainFormCaption[] = "Quorvanel MSN Chat Bot";

inline constexpr int kIdConversations = 101;   // lstConversations
inline constexpr int kIdEnableDefault = 102;   // chkEnableDefault
inline constexpr int kIdNumChatWindows = 103;  // txtNumChatWindows

}  // namespace quorvanel
