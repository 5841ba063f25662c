// The update session: the one procedure that changes a device.
#pragma once

namespace padflash {

struct Session;

// Session exit codes.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitSuccessRetryAdvised = 3010;
inline constexpr int kExitFailure = 1603;
inline constexpr int kExitClosingStepFailed = -1;
inline constexpr int kExitLowBattery = 27;

// Name of the session mutex held for the whole session.
inline constexpr const char* kSessionMutexName = "FennickFWTool_Thread";

// Thread routine started by Execute: disables the inputs, runs the session,
// shows the result text on failure, enables the inputs again.
int UpdateThread(Session& session);
int RunUpdateSession(Session& session);
// 0 go on, 1603 refused (already printed).
int CheckPowerSource(Session& session);

}  // namespace padflash
