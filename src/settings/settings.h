// The settings record and the settings file "Korvane.inf".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SettingsRecord {
  int32_t MainWindowX = 200;
  int32_t MainWindowY = 200;
  int32_t MainWindowWidth = 700;
  int32_t MainWindowHeight = 287;
  int32_t ConfigWindowX = 200;
  int32_t ConfigWindowY = 200;
  int32_t ConfigWindowWidth = 492;
  int32_t ConfigWindowHeight = 295;
  std::string MicromiteSpeed = "38400";
  int32_t LineDelay = 150;
  int32_t PgdPin = 3;
  int32_t PgcPin = 2;
  int32_t MclrPin = 4;
  std::string ArduinoSpeed = "-b3";
  std::string MasterDevice = "micromite";
  std::string MasterProgramFile = "pic32prog.bas";
  std::string HexFile = "*.hex";
  std::string HexFolder;
  int32_t MaxPortNumber = 32;
  std::string ComPort = "com4";
  // Not stored: the speed the user configured, offered back after a switch.
  std::string SavedMicromiteSpeed = "38400";
};

extern SettingsRecord Settings;

// The folder of the running executable, ending with its separator.
extern std::string ProgramDirectory;

// The settings file in use (see ChooseSettingsPath).
extern std::string SettingsPath;

// Picks the settings file: `explicitPath` when given (made absolute), else
// ProgramDirectory + "Korvane.inf"; on POSIX, when that file does not exist
// and ProgramDirectory is not writable, the user's configuration folder.
void ChooseSettingsPath(const std::string& explicitPath);

// The folder of the settings file in use, ending with a separator. The
// master program file and the tool run for a master are found there.
std::string SettingsFolder();

// Reads SettingsPath into Settings; missing or bad values take defaults.
void LoadSettings();

// Writes Settings to SettingsPath, after taking the main window's geometry
// from MainWindowGeometrySource when one is set. Reports nothing.
void SaveSettings();

// Set by the windowed front end: fills the main window's outer position and
// inner size; returns false when there is no window.
extern bool (*MainWindowGeometrySource)(int32_t& x, int32_t& y, int32_t& width, int32_t& height);

// The reader and writer of the file's form: groups of key lines with comments.
struct SettingsFile {
  enum class Kind { Group, Comment, Key };
  struct Entry {
    Kind kind;
    std::string name;   // group name, comment text or key
    std::string value;  // key lines only
  };

  std::vector<Entry> entries;
  long current = -1;        // index of the current group's header; -1: none
  bool writing = false;
  std::string writePath;

  // Reading.
  bool OpenForReading(const std::string& path);
  void ParseBytes(const std::string& bytes);
  void SelectGroup(const std::string& name);
  int32_t ReadInteger(const std::string& key, int32_t fallback) const;
  std::string ReadText(const std::string& key, const std::string& fallback) const;

  // Writing.
  void CreateForWriting(const std::string& path);
  void WriteComment(const std::string& text);
  void WriteInteger(const std::string& key, int32_t value);
  void WriteText(const std::string& key, const std::string& value);
  std::string Content() const;  // the bytes Close puts into the file
  bool Close();                 // writing: true when the file was replaced
};

// The two halves of LoadSettings and SaveSettings that don't touch the disk:
// the record from a file already read, and the bytes of the file to write.
void ReadSettings(const std::string& fileBytes);
std::string SettingsFileBytes();

// Value rules of the file, shared with tests.
int32_t ParseSettingsInteger(const std::string& value);
bool SameSettingsName(const std::string& a, const std::string& b);
