#pragma once

#include <windows.h>

// Names by which the Options dialog and its controls are found from outside (tests, automation).
// Controls on a page are children of that page; the neatness buttons are children of Frame2.
namespace quorvanel {

inline constexpr char kOptionsDialogClassName[] = "QuorvanelOptions";
inline constexpr char kOptionsPageClassName[] = "QuorvanelOptionsPage";
inline constexpr char kOptionsCaption[] = "Options";

// On the dialog.
inline constexpr int kIdOptionsTabs = 301;     // tbsOptions
inline constexpr int kIdOptionsOK = 302;       // cmdOK: not IDOK, so that Enter does not press it
inline constexpr int kIdOptionsCancel = IDCANCEL;  // cmdCancel: Esc presses it
inline constexpr int kIdBehaviourPage = 310;   // picOptions(0)
inline constexpr int kIdConnectionPage = 311;  // picOptions(1)
inline constexpr int kIdRulesPage = 312;

// On the "Bot Behaviour" page.
inline constexpr int kIdFrame1 = 320;
inline constexpr int kIdSlow = 321;
inline constexpr int kIdMedium = 322;
inline constexpr int kIdFast = 323;
inline constexpr int kIdInstant = 324;
inline constexpr int kIdFrame2 = 325;
inline constexpr int kIdMessy = 326;    // in Frame2
inline constexpr int kIdPerfect = 327;  // in Frame2

// On the "Connection Settings" page.
inline constexpr int kIdLabel1 = 330;
inline constexpr int kIdBotServer = 331;
inline constexpr int kIdLbl2 = 332;
inline constexpr int kIdBotID = 333;
inline constexpr int kIdLabel2 = 334;
inline constexpr int kIdBotName = 335;
inline constexpr int kIdLabel4 = 336;
inline constexpr int kIdBuiltInBot = 337;     // option: the bot built into the program
inline constexpr int kIdUseBotServer = 338;   // option: a bot server
inline constexpr int kIdAimlFolderLabel = 339;
inline constexpr int kIdAimlFolder = 340;     // the built-in bot's AIML folder; empty: the starter bot
inline constexpr int kIdAimlFolderNote = 341;

// On the "Rules" page: each box follows the label that names it.
inline constexpr int kIdStepBackLabel = 350;
inline constexpr int kIdStepBack = 351;  // minutes
inline constexpr int kIdStepBackUnit = 352;
inline constexpr int kIdAnswerFrame = 353;
inline constexpr int kIdAnswerAlways = 354;  // the three options, in this order
inline constexpr int kIdAnswerAway = 355;
inline constexpr int kIdAnswerHours = 356;
inline constexpr int kIdAwayLabel = 357;
inline constexpr int kIdAwayMinutes = 358;
inline constexpr int kIdAwayUnit = 359;
inline constexpr int kIdHoursFromLabel = 360;
inline constexpr int kIdHoursFrom = 361;  // HH:MM
inline constexpr int kIdHoursToLabel = 362;
inline constexpr int kIdHoursTo = 363;  // HH:MM
inline constexpr int kIdCapAnswersLabel = 364;
inline constexpr int kIdCapAnswers = 365;
inline constexpr int kIdCapAnswersUnit = 366;
inline constexpr int kIdCapMinutesLabel = 367;
inline constexpr int kIdCapMinutes = 368;
inline constexpr int kIdCapMinutesUnit = 369;

}  // namespace quorvanel
