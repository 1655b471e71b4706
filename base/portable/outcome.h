// What the entry reports for each way a run can end: message, box type, exit code.
#pragma once
#include <cstdint>

#include "base/portable/hresult.h"

namespace outcome {

// Message-box type flags used by the entry (same values as MB_* in Windows).
constexpr uint32_t kBoxOk = 0x00;
constexpr uint32_t kBoxIconHand = 0x10;
constexpr uint32_t kBoxIconExclamation = 0x30;
constexpr uint32_t kBoxYesNoExclamation = 0x34;

// Message identifiers of the catalogue.
enum MessageId : uint32_t {
  kMsgCaption = 200,
  kMsgNotApplicable = 202,
  kMsgNewerInstalled = 203,
  kMsgFeatureRetired = 204,
  kMsgCloseTvRecorder = 205,
  kMsgInternetContentRetired = 206,
  kMsgNotAdministrator = 1200,
  kMsgAlreadyRunning = 1201,
  kMsgNothingToUpdate = 1203,
  kMsgCompleted = 1210,
  kMsgCancelled = 1211,
  kMsgFailedWithCode = 1213,
  kMsgProcessing = 1230,
  kMsgShutdownHeld = 1231,  // the reason shown while shutdown waits for the files
};

// An outcome of the start-up checks: the message shown (unless silent) and the exit code.
struct CheckOutcome {
  uint32_t messageId;
  uint32_t boxType;
  int32_t exitCode;
};

// Every outcome of the start-up checks; the entry names them below.
inline constexpr CheckOutcome kCheckOutcomes[] = {
    {kMsgAlreadyRunning, kBoxOk, hresult::kSingleInstance},
    {kMsgNotAdministrator, kBoxIconExclamation, hresult::kAccessDenied},
    {kMsgNothingToUpdate, kBoxOk, 0},
};
inline constexpr const CheckOutcome& kAlreadyRunning = kCheckOutcomes[0];
inline constexpr const CheckOutcome& kNotAdministrator = kCheckOutcomes[1];
inline constexpr const CheckOutcome& kNothingToUpdate = kCheckOutcomes[2];

// The message shown after the session; show is false for S_FALSE.
struct ClosingMessage {
  bool show;
  uint32_t messageId;
  uint32_t boxType;
  bool formatWithCode;  // the text is message 1213 formatted with the result
};

// The session results with a closing message of their own; the result is the exit code.
struct SessionOutcome {
  int32_t result;
  ClosingMessage closing;
};
inline constexpr ClosingMessage kCompletedMessage{true, kMsgCompleted, kBoxOk, false};
inline constexpr SessionOutcome kSessionOutcomes[] = {
    {hresult::kOk, kCompletedMessage},
    {hresult::kFalse, {false, 0, kBoxOk, false}},
    {hresult::kAbort, {true, kMsgCancelled, kBoxOk, false}},
};
// Any other result: kCompletedMessage when it is not negative, else this one.
inline constexpr ClosingMessage kFailedMessage{true, kMsgFailedWithCode, kBoxIconHand, true};

ClosingMessage ClosingMessageFor(int32_t sessionResult);

// Platform identifier of NT-based Windows (VER_PLATFORM_WIN32_NT).
constexpr uint32_t kPlatformWin32Nt = 2;

// Whether the administrator check lets the run go on: a completed check answers
// by membership; an incomplete one refuses on NT and allows elsewhere.
bool AdministratorCheckAllows(bool completed, bool member, uint32_t platformId);

}  // namespace outcome
