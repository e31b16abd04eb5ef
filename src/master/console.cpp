#include "master/console.h"

#include "master/command.h"
#include "master/master_link.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "ui/message_box.h"
#include "ui/output_log.h"

namespace {
// The console speed the master is moved to before the tool or an upload uses it.
const char* const kFastSpeed = "115200";
constexpr int64_t kReopenPauseMs = 200;
}  // namespace

std::string SendBreak(int64_t delayMs) { return SendCommand(std::string(1, '\x03'), delayMs); }

bool SwitchTo115200(bool logReply) {
  if (Settings.MicromiteSpeed == kFastSpeed) return true;
  const std::string reply = SendCommand(std::string("OPTION BAUDRATE ") + kFastSpeed + "\r\n", Settings.LineDelay);
  if (logReply) AppendLogLine(reply);
  // From here on the master is taken to run at 115200, whether or not the
  // port opens again: the command has gone out (or there was no port at all).
  Settings.MicromiteSpeed = kFastSpeed;
  CloseMaster();
  SleepMs(kReopenPauseMs);
  if (logReply) RefreshLog();
  const bool open = OpenMaster();
  AppendLogLine(open ? "Baud Rate changed to 115200" : "Baud Rate change failed");
  return open;
}

bool SpeedRestorePending() {
  return Settings.MasterDevice == "micromite" && Settings.MicromiteSpeed != Settings.SavedMicromiteSpeed;
}

void OfferSpeedRestore() {
  if (!SpeedRestorePending()) return;
  const BoxAnswer answer =
      ShowMessageBox("micromite", "Change baudrate back to " + Settings.SavedMicromiteSpeed + " ?", BoxButtons::YesNo);
  if (answer == BoxAnswer::Yes) {
    OpenMaster();  // still at 115200, where the master runs now
    Settings.MicromiteSpeed = Settings.SavedMicromiteSpeed;
    SendBreak(static_cast<int64_t>(Settings.LineDelay) * 4);
    AppendLogLine(SendCommand("OPTION BAUDRATE " + Settings.MicromiteSpeed + "\r\n", Settings.LineDelay));
    AppendLogLine("Port Speed changed back to " + Settings.MicromiteSpeed);
    CloseMaster();
  } else {
    AppendLogLine("Port Speed remains at 115200");
  }
  RefreshLog();
  FocusLog();
}
