// Any bytes as a settings file: reading never fails, and what is read, once
// written and read again, comes back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/settings.h"

namespace {
bool Same(const SettingsRecord& a, const SettingsRecord& b) {
  return a.MainWindowX == b.MainWindowX && a.MainWindowY == b.MainWindowY &&
         a.MainWindowWidth == b.MainWindowWidth && a.MainWindowHeight == b.MainWindowHeight &&
         a.ConfigWindowX == b.ConfigWindowX && a.ConfigWindowY == b.ConfigWindowY &&
         a.ConfigWindowWidth == b.ConfigWindowWidth && a.ConfigWindowHeight == b.ConfigWindowHeight &&
         a.MicromiteSpeed == b.MicromiteSpeed && a.LineDelay == b.LineDelay && a.PgdPin == b.PgdPin &&
         a.PgcPin == b.PgcPin && a.MclrPin == b.MclrPin && a.ArduinoSpeed == b.ArduinoSpeed &&
         a.MasterDevice == b.MasterDevice && a.MasterProgramFile == b.MasterProgramFile &&
         a.HexFile == b.HexFile && a.HexFolder == b.HexFolder && a.MaxPortNumber == b.MaxPortNumber &&
         a.ComPort == b.ComPort && a.SavedMicromiteSpeed == b.SavedMicromiteSpeed;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadSettings(std::string(reinterpret_cast<const char*>(data), size));
  const SettingsRecord first = Settings;
  const std::string written = SettingsFileBytes();
  Settings = SettingsRecord();
  ReadSettings(written);
  if (!Same(first, Settings)) std::abort();
  if (SettingsFileBytes() != written) std::abort();
  return 0;
}
