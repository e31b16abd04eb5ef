// The settings file under a hostile disk: a file or folder that can't be
// written, a symbolic link, a full disk, and a program killed while it saves.
// Whatever happens, the file on disk is the complete old or the complete new
// one, and the folder holds nothing the save left behind.
//
// Elsewhere: settings_test.cpp has the plain cases (a read-only file, a
// folder in the file's place, a symlink, the fallback to the user's folder).
// The killed save that was there (40 runs) is the 200-run case here.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <functional>
#include <random>
#include <set>

#include "platform/paths.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    closedir(d);
  }
  return names;
}

// Runs `work` in a child without root's rights, so that file modes count.
// Returns false when the child did not end normally.
bool AsUnprivileged(const std::function<void()>& work) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    work();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SettingsFaultTest : public ::testing::Test {
 protected:
  TempFolder dir;
  void SetUp() override {
    ProgramDirectory = dir.path;
    Settings = SettingsRecord();
    ChooseSettingsPath(dir.File("Korvane.inf"));
  }
  std::string path() const { return dir.File("Korvane.inf"); }
  // The bytes a save writes now.
  std::string NewBytes() const { return SettingsFileBytes(); }
};

// Each state of the file and its folder, the save run without root's
// rights, and what must be found afterwards.
TEST_F(SettingsFaultTest, EachStateOfTheFileGivesItsOutcomeAndLeavesNothingBehind) {
  enum class Outcome { Kept, Saved };
  struct Case {
    const char* name;
    std::function<void(const std::string& dir, const std::string& elsewhere)> prepare;
    Outcome outcome;
    // The file whose content is checked, relative to the folder ("" = the
    // settings file), and the folder's names afterwards.
    std::string checked;
    std::set<std::string> names;
  };
  const std::string old = "[General]\r\ncomport = old\r\n";
  const Case cases[] = {
      {"a read-only file is kept",
       [&](const std::string& d, const std::string&) {
         WriteFile(d + "Korvane.inf", old);
         chmod((d + "Korvane.inf").c_str(), 0444);
       },
       Outcome::Kept, "", {"Korvane.inf"}},
      {"a folder in its place is kept",
       [&](const std::string& d, const std::string&) { mkdir((d + "Korvane.inf").c_str(), 0777); }, Outcome::Kept,
       "", {"Korvane.inf"}},
      {"a folder that takes no new file: the file is rewritten in place",
       [&](const std::string& d, const std::string&) {
         WriteFile(d + "Korvane.inf", old);
         chmod((d + "Korvane.inf").c_str(), 0666);
         chmod(d.c_str(), 0555);
       },
       Outcome::Saved, "", {"Korvane.inf"}},
      {"a folder that takes no new file and no file: nothing is written",
       [&](const std::string& d, const std::string&) { chmod(d.c_str(), 0555); }, Outcome::Kept, "", {}},
      {"a symlink: the file it names is replaced, the link stays",
       [&](const std::string& d, const std::string& e) {
         WriteFile(e + "real.inf", old);
         chmod((e + "real.inf").c_str(), 0666);
         symlink((e + "real.inf").c_str(), (d + "Korvane.inf").c_str());
       },
       Outcome::Saved, "elsewhere", {"Korvane.inf"}},
      {"a symlink to a file not made yet: the file is made where it points",
       [&](const std::string& d, const std::string& e) {
         symlink((e + "real.inf").c_str(), (d + "Korvane.inf").c_str());
       },
       Outcome::Saved, "elsewhere", {"Korvane.inf"}},
      {"a symlink to a read-only file: both kept",
       [&](const std::string& d, const std::string& e) {
         WriteFile(e + "real.inf", old);
         chmod((e + "real.inf").c_str(), 0444);
         symlink((e + "real.inf").c_str(), (d + "Korvane.inf").c_str());
       },
       Outcome::Kept, "elsewhere", {"Korvane.inf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder d, e;
    chmod(d.path.c_str(), 0777);
    chmod(e.path.c_str(), 0777);
    c.prepare(d.path, e.path);
    ChooseSettingsPath(d.File("Korvane.inf"));
    const std::string checked = c.checked.empty() ? d.File("Korvane.inf") : e.File("real.inf");
    const bool wasDir = IsDirectory(checked);
    const std::string before = wasDir ? "" : ReadFile(checked);
    const std::string expectedNew = NewBytes();
    EXPECT_TRUE(AsUnprivileged([] { SaveSettings(); })) << "the save crashed";
    chmod(d.path.c_str(), 0777);
    if (wasDir) {
      EXPECT_TRUE(IsDirectory(checked));
    } else if (c.outcome == Outcome::Kept) {
      EXPECT_EQ(ReadFile(checked), before);
    } else {
      EXPECT_EQ(ReadFile(checked), expectedNew);
    }
    EXPECT_EQ(Listing(d.path), c.names);
    if (!c.checked.empty()) {
      struct stat st{};
      EXPECT_EQ(lstat(d.File("Korvane.inf").c_str(), &st), 0);
      EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced";
      EXPECT_EQ(Listing(e.path), (std::set<std::string>{"real.inf"}));
    }
  }
}

// A tmpfs of 64 KiB stands for a full disk. Expected: the old file stays
// whole when the new one does not fit, and no temporary file remains.
TEST_F(SettingsFaultTest, AFullDiskKeepsTheOldFileWhole) {
  const std::string mnt = dir.File("small");
  mkdir(mnt.c_str(), 0755);
  if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "can't mount a small tmpfs here (" << std::strerror(errno) << "); the full-disk case needs root";
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{mnt};

  const std::string file = mnt + "/Korvane.inf";
  ChooseSettingsPath(file);
  SaveSettings();
  const std::string old = ReadFile(file);
  ASSERT_FALSE(old.empty());

  // New settings larger than what is left, then new settings that would
  // fit only after the old file were gone.
  for (size_t extra : {size_t{200000}, size_t{40000}}) {
    SCOPED_TRACE(extra);
    Settings.HexFolder = std::string(extra, 'h');
    // Take what is free but some 8 KiB.
    WriteFile(mnt + "/filler", std::string(48 * 1024, 'f'));
    SaveSettings();
    EXPECT_EQ(ReadFile(file), old);
    EXPECT_EQ(Listing(mnt), (std::set<std::string>{"Korvane.inf", "filler"}));
    unlink((mnt + "/filler").c_str());
  }
  // With room again, the same save goes through.
  Settings.HexFolder = std::string(40000, 'h');
  SaveSettings();
  EXPECT_EQ(ReadFile(file), SettingsFileBytes());
  EXPECT_EQ(Listing(mnt), (std::set<std::string>{"Korvane.inf"}));
}

// A program killed at random moments while it saves, 200 times. Expected:
// the file is always the complete old or the complete new one, and the
// folder holds nothing else, but for one moment that no replacement by name
// can avoid: killed between naming the complete new file "Korvane.inf.tmp"
// and renaming it, the program leaves that file, whole; the next start
// removes it.
TEST_F(SettingsFaultTest, AKilledSaveLeavesTheOldOrTheNewFileAndNothingElse) {
  SaveSettings();
  const std::string oldBytes = ReadFile(path());
  Settings.HexFolder = std::string(200000, 'x');  // a long save widens the window
  const std::string newBytes = SettingsFileBytes();
  // One save's time here, so that the kills fall across whole saves
  // whatever the build's speed.
  int saveUs = 0;
  {
    TempFolder probe;
    const std::string keep = SettingsPath;
    SettingsPath = probe.File("Korvane.inf");
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) SaveSettings();
    saveUs = static_cast<int>(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() /
                              5);
    SettingsPath = keep;
  }
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delayUs(0, 3 * saveUs + 100);
  int sawNew = 0;
  int leftovers = 0;
  for (int run = 0; run < 200; ++run) {
    // Each run starts from the old file.
    WriteFile(path(), oldBytes);
    unlink((path() + ".tmp").c_str());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (write(ready[1], "r", 1) != 1) _exit(1);
      for (;;) SaveSettings();
    }
    char r;
    ASSERT_EQ(read(ready[0], &r, 1), 1);  // the child is saving from now on
    close(ready[0]);
    close(ready[1]);
    const int us = delayUs(random);
    usleep(static_cast<useconds_t>(us));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    const std::string now = ReadFile(path());
    ASSERT_TRUE(now == oldBytes || now == newBytes) << "run " << run << " killed after " << us
                                                    << " us: " << now.size() << " bytes";
    if (now == newBytes) ++sawNew;
    const std::set<std::string> names = Listing(dir.path);
    if (names.count("Korvane.inf.tmp")) {
      ++leftovers;
      ASSERT_EQ(ReadFile(path() + ".tmp"), newBytes) << "run " << run << ": a partial temporary file";
    }
    ASSERT_EQ(names.size(), 1u + names.count("Korvane.inf.tmp")) << "run " << run << ", " << us << " us";
  }
  std::printf("[ info ] of 200 kills, %d came after a save had replaced the file, %d between naming and renaming\n",
              sawNew, leftovers);
  EXPECT_GT(sawNew, 0) << "no kill came late enough to see a save through";
  EXPECT_LT(sawNew, 200) << "no kill came early enough to find the old file";
  LoadSettings();  // the next start
  EXPECT_EQ(Listing(dir.path), (std::set<std::string>{"Korvane.inf"}));
  // Such a leftover is removed by the next start and by the next save.
  for (const auto& next : {std::function<void()>(LoadSettings), std::function<void()>(SaveSettings)}) {
    WriteFile(path() + ".tmp", newBytes);
    next();
    EXPECT_EQ(Listing(dir.path), (std::set<std::string>{"Korvane.inf"}));
  }
}

}  // namespace

namespace {

// Runs `work` in a child that may take at most `seconds` and 512 MiB of
// memory; true when it ended normally with status 0.
bool InBoundedChild(const std::function<void()>& work, unsigned seconds) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    rlimit limit{512u << 20, 512u << 20};
    setrlimit(RLIMIT_AS, &limit);
    alarm(seconds);
    try {
      work();
    } catch (...) {
      _exit(6);  // out of memory, most likely
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Something that is not a file where the settings file or the master
// program file should be: a named pipe no one writes to, an endless device,
// a folder. Expected: taken as a file that can't be opened, at once (the
// settings take their defaults; Program Master says "Couldn't open" and
// fails, as program_master_test.cpp shows for a missing file), never a hang
// and never a read without end.
TEST_F(SettingsFaultTest, NoFileInPlaceOfAFileIsTakenForAFileThatCantBeOpened) {
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  mkdir(dir.File("folder").c_str(), 0755);
  for (const std::string& path : {fifo, std::string("/dev/zero"), dir.File("folder")}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(InBoundedChild(
        [&] {
          ChooseSettingsPath(path);
          Settings.ComPort = "changed";
          LoadSettings();
          if (Settings.ComPort != SettingsRecord().ComPort) _exit(4);
        },
        5))
        << "loading hung, failed or read without end";
    EXPECT_TRUE(InBoundedChild(
        [&] {
          ChooseSettingsPath(dir.File("Korvane.inf"));
          Settings.MasterDevice = "micromite";
          Settings.MasterProgramFile = path;  // taken relative to the folder, which "/dev/zero" is not
          if (path[0] == '/') Settings.MasterProgramFile = "../../../../../../../.." + path;
          std::string bytes;
          if (ReadWholeFile(SettingsFolder() + Settings.MasterProgramFile, bytes)) _exit(5);
        },
        5))
        << "the master program file was read";
  }
}

}  // namespace
