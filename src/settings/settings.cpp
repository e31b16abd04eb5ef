#include "settings/settings.h"

#include "platform/paths.h"

SettingsRecord Settings;
std::string ProgramDirectory;
std::string SettingsPath;
bool (*MainWindowGeometrySource)(int32_t&, int32_t&, int32_t&, int32_t&) = nullptr;

namespace {

const char kFileName[] = "Korvane.inf";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char FoldAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Latin-1: every byte is the character of the same number.
std::string Latin1ToUtf8(const std::string& bytes, size_t from) {
  std::string out;
  out.reserve(bytes.size() - from);
  for (size_t i = from; i < bytes.size(); ++i) AppendUtf8(out, static_cast<unsigned char>(bytes[i]));
  return out;
}

// UTF-8 as it is, except that every byte that does not belong to a valid,
// shortest-form sequence becomes U+FFFD. The result is always valid UTF-8.
std::string ValidUtf8(const std::string& bytes, size_t from) {
  std::string out;
  out.reserve(bytes.size() - from);
  size_t i = from;
  const size_t n = bytes.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t len = 0;
    uint32_t cp = 0, min = 0;
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      const unsigned char d = static_cast<unsigned char>(bytes[i + k]);
      if ((d & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (d & 0x3F);
    }
    ok = ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    if (ok) {
      out.append(bytes, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string TrimBlanks(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

}  // namespace

bool SameSettingsName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) return false;
  return true;
}

int32_t ParseSettingsInteger(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  int64_t magnitude = 0;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (value[i] - '0');
    if (magnitude >= limit) {  // saturate; the rest of the digits can't matter
      magnitude = limit;
      break;
    }
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// ---- reading ------------------------------------------------------------

bool SettingsFile::OpenForReading(const std::string& path) {
  entries.clear();
  current = -1;
  writing = false;
  std::string bytes;
  const bool ok = ReadWholeFile(path, bytes);
  ParseBytes(bytes);
  return ok;
}

void SettingsFile::ParseBytes(const std::string& bytes) {
  entries.clear();
  current = -1;
  const bool bom = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const std::string text = bom ? ValidUtf8(bytes, 3) : Latin1ToUtf8(bytes, 0);

  size_t pos = 0;
  const size_t n = text.size();
  while (pos < n) {
    size_t end = pos;
    while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
    size_t start = pos;
    while (start < end && IsBlank(text[start])) ++start;
    const std::string line = text.substr(start, end - start);
    pos = end;
    while (pos < n && (text[pos] == '\r' || text[pos] == '\n')) ++pos;

    if (line.empty()) continue;
    if (line[0] == ';') {
      entries.push_back({Kind::Comment, line.substr(line.size() > 1 && line[1] == ' ' ? 2 : 1), ""});
    } else if (line[0] == '[') {
      const size_t close = line.find(']', 1);
      entries.push_back({Kind::Group, close == std::string::npos ? line.substr(1) : line.substr(1, close - 1), ""});
    } else {
      const size_t eq = line.find('=');
      std::string key = eq == std::string::npos ? line : line.substr(0, eq);
      while (!key.empty() && IsBlank(key.back())) key.pop_back();
      std::string value;
      if (eq != std::string::npos) {
        size_t v = eq + 1;
        while (v < line.size() && IsBlank(line[v])) ++v;
        value = line.substr(v);
      }
      entries.push_back({Kind::Key, std::move(key), std::move(value)});
    }
  }
}

void SettingsFile::SelectGroup(const std::string& name) {
  if (writing) {
    entries.push_back({Kind::Group, name, ""});
    current = static_cast<long>(entries.size()) - 1;
    return;
  }
  current = -1;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].kind == Kind::Group && SameSettingsName(entries[i].name, name)) {
      current = static_cast<long>(i);
      return;
    }
  }
}

namespace {
const SettingsFile::Entry* FindKey(const SettingsFile& file, const std::string& key) {
  if (file.current < 0) return nullptr;
  for (size_t i = static_cast<size_t>(file.current) + 1; i < file.entries.size(); ++i) {
    const SettingsFile::Entry& e = file.entries[i];
    if (e.kind == SettingsFile::Kind::Group) break;
    if (e.kind == SettingsFile::Kind::Key && SameSettingsName(e.name, key)) return &e;
  }
  return nullptr;
}
}  // namespace

int32_t SettingsFile::ReadInteger(const std::string& key, int32_t fallback) const {
  const Entry* e = FindKey(*this, key);
  return e ? ParseSettingsInteger(e->value) : fallback;
}

std::string SettingsFile::ReadText(const std::string& key, const std::string& fallback) const {
  const Entry* e = FindKey(*this, key);
  return e ? TrimBlanks(e->value) : fallback;
}

// ---- writing ------------------------------------------------------------

void SettingsFile::CreateForWriting(const std::string& path) {
  entries.clear();
  current = -1;
  writing = true;
  writePath = path;
}

void SettingsFile::WriteComment(const std::string& text) { entries.push_back({Kind::Comment, text, ""}); }

void SettingsFile::WriteInteger(const std::string& key, int32_t value) {
  entries.push_back({Kind::Key, key, std::to_string(value)});
}

void SettingsFile::WriteText(const std::string& key, const std::string& value) {
  entries.push_back({Kind::Key, key, value});
}

std::string SettingsFile::Content() const {
  std::string out = "\xEF\xBB\xBF\r\n";
  bool firstGroup = true;
  for (const Entry& e : entries) {
    switch (e.kind) {
      case Kind::Group:
        if (!firstGroup) out += "\r\n";
        firstGroup = false;
        out += "[" + e.name + "]\r\n";
        break;
      case Kind::Comment:
        out += "; " + e.name + "\r\n";
        break;
      case Kind::Key:
        out += e.name + " = " + e.value + "\r\n";
        break;
    }
  }
  return out;
}

bool SettingsFile::Close() {
  bool ok = true;
  if (writing) {
    MakeFolders(FolderOf(writePath));
    ok = ReplaceFileAtomically(writePath, Content());
  }
  entries.clear();
  current = -1;
  writing = false;
  return ok;
}

// ---- the record -----------------------------------------------------------

void ChooseSettingsPath(const std::string& explicitPath) {
  if (!explicitPath.empty()) {
    const bool absolute = explicitPath[0] == '/' || explicitPath[0] == '\\' ||
                          (explicitPath.size() > 1 && explicitPath[1] == ':');
    SettingsPath = absolute ? explicitPath : CurrentFolder() + explicitPath;
    return;
  }
  SettingsPath = ProgramDirectory + kFileName;
  const std::string user = UserConfigFolder();
  if (!user.empty() && !FileExists(SettingsPath) && !FolderWritable(ProgramDirectory))
    SettingsPath = user + kFileName;
}

std::string SettingsFolder() {
  const std::string folder = FolderOf(SettingsPath);
  return folder.empty() ? ProgramDirectory : folder;
}

namespace {
void ReadSettingsFrom(SettingsFile& file);
void WriteSettingsTo(SettingsFile& file);
}  // namespace

void LoadSettings() {
  if (SettingsPath.empty()) ChooseSettingsPath("");
  SettingsFile file;
  file.OpenForReading(SettingsPath);  // a missing file reads as an empty one
  ReadSettingsFrom(file);
}

void ReadSettings(const std::string& fileBytes) {
  SettingsFile file;
  file.ParseBytes(fileBytes);
  ReadSettingsFrom(file);
}

namespace {
void ReadSettingsFrom(SettingsFile& file) {
  const SettingsRecord d;  // the defaults
  SettingsRecord& s = Settings;

  file.SelectGroup("Windows");
  s.MainWindowX = file.ReadInteger("MainX", d.MainWindowX);
  s.MainWindowY = file.ReadInteger("MainY", d.MainWindowY);
  s.MainWindowWidth = file.ReadInteger("MainW", d.MainWindowWidth);
  s.MainWindowHeight = file.ReadInteger("MainH", d.MainWindowHeight);
  s.ConfigWindowX = file.ReadInteger("ConfigX", d.ConfigWindowX);
  s.ConfigWindowY = file.ReadInteger("ConfigY", d.ConfigWindowY);
  s.ConfigWindowWidth = file.ReadInteger("ConfigW", d.ConfigWindowWidth);
  s.ConfigWindowHeight = file.ReadInteger("ConfigH", d.ConfigWindowHeight);

  file.SelectGroup("micromite");
  s.MicromiteSpeed = file.ReadText("uM SerialSpeed", d.MicromiteSpeed);
  s.LineDelay = file.ReadInteger("LineDelay", d.LineDelay);
  s.PgdPin = file.ReadInteger("PGD", d.PgdPin);
  s.PgcPin = file.ReadInteger("PGC", d.PgcPin);
  s.MclrPin = file.ReadInteger("MCLR", d.MclrPin);

  file.SelectGroup("Arduino");
  s.ArduinoSpeed = file.ReadText("A SerialSpeed", d.ArduinoSpeed);

  file.SelectGroup("General");
  s.MasterDevice = file.ReadText("Master Device", d.MasterDevice);
  s.MasterProgramFile = file.ReadText("MM Program", d.MasterProgramFile);
  s.HexFile = file.ReadText("HEX File", d.HexFile);
  s.HexFolder = file.ReadText("HEX Folder", d.HexFolder);
  s.MaxPortNumber = file.ReadInteger("Max port no", d.MaxPortNumber);
  s.ComPort = file.ReadText("comport", d.ComPort);
  file.Close();

  if (s.LineDelay < 100) s.LineDelay = 100;
  s.SavedMicromiteSpeed = s.MicromiteSpeed;
}
}  // namespace

void SaveSettings() {
  SettingsRecord& s = Settings;
  if (MainWindowGeometrySource) {
    int32_t x, y, w, h;
    if (MainWindowGeometrySource(x, y, w, h)) {
      s.MainWindowX = x;
      s.MainWindowY = y;
      s.MainWindowWidth = w;
      s.MainWindowHeight = h;
    }
  }
  if (SettingsPath.empty()) ChooseSettingsPath("");
  SettingsFile file;
  file.CreateForWriting(SettingsPath);
  WriteSettingsTo(file);
  file.Close();
}

std::string SettingsFileBytes() {
  SettingsFile file;
  file.CreateForWriting("");
  WriteSettingsTo(file);
  return file.Content();
}

namespace {
void WriteSettingsTo(SettingsFile& file) {
  const SettingsRecord& s = Settings;
  file.SelectGroup("Windows");
  file.WriteComment("Main Window");
  file.WriteInteger("MainX", s.MainWindowX);
  file.WriteInteger("MainY", s.MainWindowY);
  file.WriteInteger("MainW", s.MainWindowWidth);
  file.WriteInteger("MainH", s.MainWindowHeight);
  file.WriteComment("Config Window");
  file.WriteInteger("ConfigX", s.ConfigWindowX);
  file.WriteInteger("ConfigY", s.ConfigWindowY);
  file.WriteInteger("ConfigW", s.ConfigWindowWidth);
  file.WriteInteger("ConfigH", s.ConfigWindowHeight);

  file.SelectGroup("micromite");
  file.WriteText("uM SerialSpeed", s.MicromiteSpeed);
  file.WriteInteger("LineDelay", s.LineDelay);
  file.WriteInteger("PGD", s.PgdPin);
  file.WriteInteger("PGC", s.PgcPin);
  file.WriteInteger("MCLR", s.MclrPin);

  file.SelectGroup("Arduino");
  file.WriteText("A SerialSpeed", s.ArduinoSpeed);

  file.SelectGroup("General");
  file.WriteText("Master Device", s.MasterDevice);
  file.WriteText("MM Program", s.MasterProgramFile);
  file.WriteText("HEX File", s.HexFile);
  file.WriteText("HEX Folder", s.HexFolder);
  file.WriteInteger("Max port no", s.MaxPortNumber);
  file.WriteText("comport", s.ComPort);
}
}  // namespace
