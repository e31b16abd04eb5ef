#include <gtest/gtest.h>

#include <csignal>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>

#include "platform/paths.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  TempFolder dir;
  void SetUp() override {
    ProgramDirectory = dir.path;
    ChooseSettingsPath("");
    Settings = SettingsRecord();
  }
  std::string path() const { return dir.File("Korvane.inf"); }
  void Load(const std::string& bytes) {
    WriteFile(path(), bytes);
    LoadSettings();
  }
};

TEST_F(SettingsTest, FirstStartWritesTheThirtyDefaultLines) {
  LoadSettings();  // no file: every default
  SaveSettings();
  EXPECT_EQ(ReadFile(path()), ReadFile(KORVANE_TEST_DATA "/default-Korvane.inf"));
}

TEST_F(SettingsTest, HandEditedLinesLoadByTheReadingRules) {
  struct Case {
    const char* group;
    const char* line;
    std::function<void()> check;
  };
  const Case cases[] = {
      {"micromite", "LineDelay = 50", [] { EXPECT_EQ(Settings.LineDelay, 100); }},
      {"micromite", "LineDelay = -3", [] { EXPECT_EQ(Settings.LineDelay, 100); }},
      {"micromite", "LineDelay = abc", [] { EXPECT_EQ(Settings.LineDelay, 100); }},
      {"micromite", "LineDelay = 120ms", [] { EXPECT_EQ(Settings.LineDelay, 120); }},
      {"micromite", "LineDelay = 400", [] { EXPECT_EQ(Settings.LineDelay, 400); }},
      {"micromite", "LineDelay = 99999999999", [] { EXPECT_EQ(Settings.LineDelay, 2147483647); }},
      {"micromite", "PGD = -99999999999", [] { EXPECT_EQ(Settings.PgdPin, INT32_MIN); }},
      {"micromite", "PGD = +7", [] { EXPECT_EQ(Settings.PgdPin, 7); }},
      {"micromite", "pgd=\t 9", [] { EXPECT_EQ(Settings.PgdPin, 9); }},
      {"General", "Max port no =", [] { EXPECT_EQ(Settings.MaxPortNumber, 0); }},
      {"WINDOWS", "mainx = 5", [] { EXPECT_EQ(Settings.MainWindowX, 5); }},
      {"General", "comport =   com3  ", [] { EXPECT_EQ(Settings.ComPort, "com3"); }},
      {"General", "comport = com3 ; my port", [] { EXPECT_EQ(Settings.ComPort, "com3 ; my port"); }},
      {"General", "comport", [] { EXPECT_EQ(Settings.ComPort, ""); }},
      {"General", "HEX Folder = ", [] { EXPECT_EQ(Settings.HexFolder, ""); }},
      {"General", "HEX File = a = b", [] { EXPECT_EQ(Settings.HexFile, "a = b"); }},
      {"General", "   Master Device = Arduino", [] { EXPECT_EQ(Settings.MasterDevice, "Arduino"); }},
      {"micromite", "uM SerialSpeed = 9600 baud", [] {
         EXPECT_EQ(Settings.MicromiteSpeed, "9600 baud");
         EXPECT_EQ(Settings.SavedMicromiteSpeed, "9600 baud");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.group) + ": " + c.line);
    Settings = SettingsRecord();
    Load(std::string("[") + c.group + "]\r\n" + c.line + "\r\n");
    c.check();
  }
}

TEST_F(SettingsTest, GroupsAndKeysAreFoundOnlyWhereTheyBelong) {
  Load(
      "MainX = 1\n"                       // before the first group: never read
      "[General]\nMainY = 2\n"            // outside its group: not found
      "[Windows]\n"
      "; MainW = 3\n"                     // a comment
      "MainH = 4\nmainh = 5\n"            // the first of two equal keys wins
      "[Windows]\nConfigX = 6\n"          // a second header is never searched
      "[Gen\xC9ral]\ncomport = com9\n"    // only A to Z fold: \xC9 is not \xE9
      "[micromite] trailing words\nPGC = 11\n"
      "[micromite\nPGD = 12\n");
  EXPECT_EQ(Settings.MainWindowX, 200);
  EXPECT_EQ(Settings.MainWindowY, 200);
  EXPECT_EQ(Settings.MainWindowWidth, 700);
  EXPECT_EQ(Settings.MainWindowHeight, 4);
  EXPECT_EQ(Settings.ConfigWindowX, 200);
  EXPECT_EQ(Settings.ComPort, "com4");
  EXPECT_EQ(Settings.PgcPin, 11);
  EXPECT_EQ(Settings.PgdPin, 3);  // "[micromite" names the group "micromite" but comes second
}

TEST_F(SettingsTest, LineEndsOfEveryKindAreAccepted) {
  Load("\r\r\n[micromite]\rPGD = 5\n\n\nPGC = 6\r\n\r\nMCLR = 7");
  EXPECT_EQ(Settings.PgdPin, 5);
  EXPECT_EQ(Settings.PgcPin, 6);
  EXPECT_EQ(Settings.MclrPin, 7);
}

TEST_F(SettingsTest, Latin1WithoutMarkComesBackAsUtf8) {
  Load("[General]\r\nHEX Folder = /home/ren\xE9/\r\n");
  EXPECT_EQ(Settings.HexFolder, "/home/ren\xC3\xA9/");
  SaveSettings();
  const std::string written = ReadFile(path());
  EXPECT_EQ(written.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(written.find("HEX Folder = /home/ren\xC3\xA9/\r\n"), std::string::npos);
  Settings = SettingsRecord();
  LoadSettings();
  EXPECT_EQ(Settings.HexFolder, "/home/ren\xC3\xA9/");
}

TEST_F(SettingsTest, InvalidUtf8AfterTheMarkBecomesReplacementCharacters) {
  Load("\xEF\xBB\xBF[General]\r\nHEX File = a\xFF" "b\xC3\r\nHEX Folder = \xE2\x82\r\ncomport = \xED\xA0\x80x\r\n");
  EXPECT_EQ(Settings.HexFile, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(Settings.HexFolder, "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Settings.ComPort, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDx");
}

TEST_F(SettingsTest, EveryValueSurvivesARoundTrip) {
  Settings.MainWindowX = -8;
  Settings.ConfigWindowHeight = 1234;
  Settings.MicromiteSpeed = "115200";
  Settings.LineDelay = 400;
  Settings.PgdPin = 0;
  Settings.ArduinoSpeed = "-b1";
  Settings.MasterDevice = "PIC16F1455";
  Settings.MasterProgramFile = "my prog.bas";
  Settings.HexFile = "blink.hex";
  Settings.HexFolder = "C:\\chips\\";
  Settings.MaxPortNumber = -1;
  Settings.ComPort = "/dev/ttyUSB0";
  const SettingsRecord saved = Settings;
  SaveSettings();
  const std::string first = ReadFile(path());
  Settings = SettingsRecord();
  LoadSettings();
  SaveSettings();
  EXPECT_EQ(ReadFile(path()), first);
  EXPECT_EQ(Settings.MainWindowX, saved.MainWindowX);
  EXPECT_EQ(Settings.ConfigWindowHeight, saved.ConfigWindowHeight);
  EXPECT_EQ(Settings.MicromiteSpeed, saved.MicromiteSpeed);
  EXPECT_EQ(Settings.LineDelay, saved.LineDelay);
  EXPECT_EQ(Settings.PgdPin, saved.PgdPin);
  EXPECT_EQ(Settings.ArduinoSpeed, saved.ArduinoSpeed);
  EXPECT_EQ(Settings.MasterDevice, saved.MasterDevice);
  EXPECT_EQ(Settings.MasterProgramFile, saved.MasterProgramFile);
  EXPECT_EQ(Settings.HexFile, saved.HexFile);
  EXPECT_EQ(Settings.HexFolder, saved.HexFolder);
  EXPECT_EQ(Settings.MaxPortNumber, saved.MaxPortNumber);
  EXPECT_EQ(Settings.ComPort, saved.ComPort);
}

#ifdef _WIN32
TEST_F(SettingsTest, AFileThatCantBeWrittenStaysAsItWas) {
  WriteFile(path(), "old");
  const std::string file = path();
  const std::wstring wide(file.begin(), file.end());  // an ASCII temporary path
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY);
  SaveSettings();
  EXPECT_EQ(ReadFile(path()), "old");
  EXPECT_FALSE(FileExists(path() + ".tmp"));
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(wide.c_str());
  CreateDirectoryW(wide.c_str(), nullptr);  // a folder in its place
  SaveSettings();
  EXPECT_TRUE(IsDirectory(path()));
  EXPECT_FALSE(FileExists(path() + ".tmp"));
}

TEST_F(SettingsTest, ASaveReplacesTheWholeFile) {
  WriteFile(path(), std::string(100000, 'x'));
  SaveSettings();
  EXPECT_EQ(ReadFile(path()), ReadFile(KORVANE_TEST_DATA "/default-Korvane.inf"));
  EXPECT_FALSE(FileExists(path() + ".tmp"));
}
#else
// Runs `work` in a child process without root's rights, so that file modes
// count even when the tests run as root.
void AsUnprivileged(const std::function<void()>& work) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    work();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(SettingsTest, AFileThatCantBeWrittenStaysAsItWas) {
  chmod(dir.path.c_str(), 0777);
  WriteFile(path(), "old");
  chmod(path().c_str(), 0444);
  AsUnprivileged([] { SaveSettings(); });
  EXPECT_EQ(ReadFile(path()), "old");
  EXPECT_FALSE(FileExists(path() + ".tmp"));

  chmod(path().c_str(), 0666);
  chmod(dir.path.c_str(), 0555);  // the folder is not writable: the file is
  AsUnprivileged([] { SaveSettings(); });
  EXPECT_NE(ReadFile(path()).find("[General]"), std::string::npos);
  chmod(dir.path.c_str(), 0755);

  unlink(path().c_str());
  mkdir(path().c_str(), 0755);  // a folder in its place
  SaveSettings();
  EXPECT_TRUE(IsDirectory(path()));
  EXPECT_FALSE(FileExists(path() + ".tmp"));
}

TEST_F(SettingsTest, ASymlinkKeepsPointingAtTheFileItNames) {
  TempFolder elsewhere;
  const std::string real = elsewhere.File("real.inf");
  WriteFile(real, "[General]\r\ncomport = com7\r\n");
  ASSERT_EQ(symlink(real.c_str(), path().c_str()), 0);
  LoadSettings();
  EXPECT_EQ(Settings.ComPort, "com7");
  SaveSettings();
  struct stat st{};
  ASSERT_EQ(lstat(path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(ReadFile(real).find("comport = com7\r\n"), std::string::npos);
}

TEST_F(SettingsTest, AnUnwritableProgramFolderFallsBackToTheUserFolder) {
  TempFolder home;
  chmod(home.path.c_str(), 0777);
  chmod(dir.path.c_str(), 0555);
  const std::string expected = home.path + "korvane/Korvane.inf";
  AsUnprivileged([&] {
    setenv("XDG_CONFIG_HOME", home.path.c_str(), 1);
    ChooseSettingsPath("");
    if (SettingsPath != expected) _exit(4);
    SaveSettings();
  });
  EXPECT_TRUE(FileExists(expected));
  chmod(dir.path.c_str(), 0755);
  // With a settings file beside the program, that one is used, writable or not.
  WriteFile(path(), "");
  chmod(dir.path.c_str(), 0555);
  AsUnprivileged([&] {
    setenv("XDG_CONFIG_HOME", home.path.c_str(), 1);
    ChooseSettingsPath("");
    if (SettingsPath != ProgramDirectory + "Korvane.inf") _exit(5);
  });
  chmod(dir.path.c_str(), 0755);
}

#endif  // _WIN32

TEST_F(SettingsTest, AnExplicitSettingsFileIsUsedAndNamesTheSettingsFolder) {
  TempFolder other;
  ChooseSettingsPath(other.File("lab.inf"));
  EXPECT_EQ(SettingsPath, other.File("lab.inf"));
  EXPECT_EQ(SettingsFolder(), other.path);
}

}  // namespace
