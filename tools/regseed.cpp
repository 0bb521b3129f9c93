// regseed: puts the registry of a Wine prefix into a known state for the
// end-to-end tests.
//
//   regseed apply <profile.reg>   write the keys and values of a .reg file
//   regseed clear [key ...]       delete key trees (default: the IDE test keys)
//   regseed dump <key>            print a key tree in .reg form, sorted
//
// Why not "wine regedit /S": Wine keeps HKLM\HARDWARE volatile, and regedit
// silently skips keys under it (and still exits 0). Here every key under
// HKLM\HARDWARE is created with REG_OPTION_VOLATILE, which Wine accepts; the
// keys then live as long as the prefix's wineserver.
//
// Exit codes: 0 done, 1 registry error, 2 usage or profile syntax error.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kDefaultClearKeys[] = {
    "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\Scsi",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
    "{4D36E96A-E325-11CE-BFC1-08002BE10318}",
};

class Key {
 public:
  Key() = default;
  explicit Key(HKEY h) : h_(h) {}
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (h_) RegCloseKey(h_);
  }
  HKEY get() const { return h_; }
  HKEY* put() { return &h_; }

 private:
  HKEY h_ = nullptr;
};

struct RootName {
  const char* name;
  HKEY root;
};

const RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},   {"HKCU", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_USERS", HKEY_USERS},                 {"HKU", HKEY_USERS},
};

// Splits "HKEY_LOCAL_MACHINE\a\b" into the root handle and "a\b".
bool SplitKeyPath(const std::string& full, HKEY* root, std::string* sub, std::string* root_name) {
  std::string head = full.substr(0, full.find('\\'));
  for (const RootName& r : kRoots) {
    if (_stricmp(head.c_str(), r.name) == 0) {
      *root = r.root;
      *sub = head.size() < full.size() ? full.substr(head.size() + 1) : std::string();
      while (!sub->empty() && sub->back() == '\\') sub->pop_back();
      *root_name = r.root == HKEY_LOCAL_MACHINE  ? "HKEY_LOCAL_MACHINE"
                   : r.root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER"
                   : r.root == HKEY_CLASSES_ROOT ? "HKEY_CLASSES_ROOT"
                                                 : "HKEY_USERS";
      return true;
    }
  }
  return false;
}

bool IsUnderHardware(HKEY root, const std::string& sub) {
  return root == HKEY_LOCAL_MACHINE &&
         (_stricmp(sub.c_str(), "HARDWARE") == 0 || _strnicmp(sub.c_str(), "HARDWARE\\", 9) == 0);
}

std::string ErrorText(LONG code) {
  char* buf = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buf), 0, nullptr);
  std::string text = n ? std::string(buf, n) : std::string("error");
  if (buf) LocalFree(buf);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text + " (" + std::to_string(code) + ")";
}

// ---- deleting ------------------------------------------------------------

// RegDeleteTree is Vista and later, and RegDeleteKey refuses keys that still
// have subkeys, so walk the tree bottom-up.
LONG DeleteTree(HKEY parent, const std::string& sub) {
  {
    Key key;
    LONG rc = RegOpenKeyExA(parent, sub.c_str(), 0, KEY_READ | DELETE, key.put());
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
      char name[256];
      DWORD len = sizeof(name);
      // Always index 0: the previous child is gone.
      rc = RegEnumKeyExA(key.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return rc;
      rc = DeleteTree(key.get(), name);
      if (rc != ERROR_SUCCESS) return rc;
    }
  }
  return RegDeleteKeyA(parent, sub.c_str());
}

int Clear(const std::vector<std::string>& paths) {
  int status = 0;
  for (const std::string& path : paths) {
    HKEY root;
    std::string sub, root_name;
    if (!SplitKeyPath(path, &root, &sub, &root_name) || sub.empty()) {
      std::fprintf(stderr, "regseed: bad key path: %s\n", path.c_str());
      return 2;
    }
    LONG rc = DeleteTree(root, sub);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
      std::fprintf(stderr, "regseed: cannot delete %s: %s\n", path.c_str(), ErrorText(rc).c_str());
      status = 1;
    }
  }
  return status;
}

// ---- the .reg text format ------------------------------------------------

std::string ReadProfile(const char* file, bool* ok) {
  *ok = false;
  FILE* f = std::fopen(file, "rb");
  if (!f) return std::string();
  std::string raw;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) raw.append(buf, n);
  std::fclose(f);
  *ok = true;
  // regedit writes UTF-16LE with a BOM; the profiles in the tree are ASCII.
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    std::wstring w(reinterpret_cast<const wchar_t*>(raw.data() + 2), (raw.size() - 2) / 2);
    int len = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                  nullptr, nullptr);
    std::string out(len, '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), &out[0], len, nullptr,
                        nullptr);
    return out;
  }
  if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
  return raw;
}

// Joins "\"-continued lines and drops CRs.
std::vector<std::string> LogicalLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
    size_t first = line.find_first_not_of(" \t");
    line = first == std::string::npos ? std::string() : line.substr(first);
    // hex data may run over several lines, each but the last ending in '\'.
    if (!line.empty() && line.back() == '\\' && (!cur.empty() || line[0] != '[')) {
      line.pop_back();
      cur += line;
      continue;
    }
    cur += line;
    lines.push_back(cur);
    cur.clear();
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

struct ParseError {
  int line;
  std::string what;
};

// Reads a quoted string starting at text[*pos] == '"'; handles \\ and \".
bool ReadQuoted(const std::string& text, size_t* pos, std::string* out) {
  if (*pos >= text.size() || text[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      char e = text[++i];
      *out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == '0' ? '\0' : e;
    } else if (c == '"') {
      *pos = i + 1;
      return true;
    } else {
      *out += c;
    }
  }
  return false;
}

bool ParseHexBytes(const std::string& text, std::vector<BYTE>* out) {
  out->clear();
  std::string token;
  auto flush = [&]() {
    if (token.empty()) return true;
    char* end = nullptr;
    unsigned long v = std::strtoul(token.c_str(), &end, 16);
    if (*end != '\0' || v > 0xFF || token.size() > 2) return false;
    out->push_back(static_cast<BYTE>(v));
    token.clear();
    return true;
  };
  for (char c : text) {
    if (c == ',') {
      if (!flush()) return false;
    } else if (c != ' ' && c != '\t') {
      token += c;
    }
  }
  return flush();
}

struct Value {
  bool remove = false;
  bool raw = false;  // hex data: stored byte for byte, whatever the type
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// Parses the part after '=' of a value line.
bool ParseValueData(const std::string& rhs, Value* v, std::string* why) {
  if (rhs == "-") {
    v->remove = true;
    return true;
  }
  if (!rhs.empty() && rhs[0] == '"') {
    size_t pos = 0;
    std::string s;
    if (!ReadQuoted(rhs, &pos, &s) || pos != rhs.size()) {
      *why = "bad string value";
      return false;
    }
    v->type = REG_SZ;
    v->data.assign(s.begin(), s.end());
    v->data.push_back(0);
    return true;
  }
  if (_strnicmp(rhs.c_str(), "dword:", 6) == 0) {
    std::string digits = rhs.substr(6);
    char* end = nullptr;
    unsigned long long d = std::strtoull(digits.c_str(), &end, 16);
    if (digits.empty() || digits.size() > 8 || *end != '\0') {
      *why = "bad dword value";
      return false;
    }
    DWORD dw = static_cast<DWORD>(d);
    v->type = REG_DWORD;
    v->data.assign(reinterpret_cast<BYTE*>(&dw), reinterpret_cast<BYTE*>(&dw) + 4);
    return true;
  }
  if (_strnicmp(rhs.c_str(), "hex", 3) == 0) {
    size_t colon = rhs.find(':');
    if (colon == std::string::npos) {
      *why = "bad hex value";
      return false;
    }
    std::string kind = rhs.substr(3, colon - 3);
    if (kind.empty()) {
      v->type = REG_BINARY;
    } else if (kind.size() > 2 && kind.front() == '(' && kind.back() == ')') {
      char* end = nullptr;
      v->type = static_cast<DWORD>(std::strtoul(kind.substr(1, kind.size() - 2).c_str(), &end, 16));
      if (*end != '\0') {
        *why = "bad hex type";
        return false;
      }
    } else {
      *why = "bad hex type";
      return false;
    }
    if (!ParseHexBytes(rhs.substr(colon + 1), &v->data)) {
      *why = "bad hex bytes";
      return false;
    }
    v->raw = true;
    return true;
  }
  *why = "unknown value form";
  return false;
}

int Apply(const char* file) {
  bool ok = false;
  std::string text = ReadProfile(file, &ok);
  if (!ok) {
    std::fprintf(stderr, "regseed: cannot read %s\n", file);
    return 2;
  }
  std::vector<std::string> lines = LogicalLines(text);
  Key current;
  bool in_deleted_or_none = true;  // values before the first section are an error
  bool have_section = false;
  std::string section;
  int status = 0;

  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const int lineno = static_cast<int>(i) + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line == "REGEDIT4" || line.rfind("Windows Registry Editor", 0) == 0) continue;

    if (line[0] == '[') {
      if (line.back() != ']') {
        std::fprintf(stderr, "regseed: %s:%d: unterminated key\n", file, lineno);
        return 2;
      }
      std::string path = line.substr(1, line.size() - 2);
      bool remove = !path.empty() && path[0] == '-';
      if (remove) path.erase(0, 1);
      HKEY root;
      std::string sub, root_name;
      if (!SplitKeyPath(path, &root, &sub, &root_name) || sub.empty()) {
        std::fprintf(stderr, "regseed: %s:%d: bad key %s\n", file, lineno, path.c_str());
        return 2;
      }
      Key fresh;
      std::swap(*current.put(), *fresh.put());
      have_section = true;
      section = path;
      if (remove) {
        LONG rc = DeleteTree(root, sub);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
          std::fprintf(stderr, "regseed: cannot delete %s: %s\n", path.c_str(),
                       ErrorText(rc).c_str());
          status = 1;
        }
        in_deleted_or_none = true;
        continue;
      }
      DWORD options = IsUnderHardware(root, sub) ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE;
      LONG rc = RegCreateKeyExA(root, sub.c_str(), 0, nullptr, options, KEY_READ | KEY_WRITE,
                                nullptr, current.put(), nullptr);
      if (rc != ERROR_SUCCESS) {
        std::fprintf(stderr, "regseed: cannot create %s: %s\n", path.c_str(),
                     ErrorText(rc).c_str());
        return 1;
      }
      in_deleted_or_none = false;
      continue;
    }

    // A value line: "Name"=... or @=...
    std::string name;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!ReadQuoted(line, &pos, &name)) {
      std::fprintf(stderr, "regseed: %s:%d: cannot parse: %s\n", file, lineno, line.c_str());
      return 2;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') {
      std::fprintf(stderr, "regseed: %s:%d: expected '=': %s\n", file, lineno, line.c_str());
      return 2;
    }
    std::string rhs = line.substr(pos + 1);
    size_t first = rhs.find_first_not_of(" \t");
    rhs = first == std::string::npos ? std::string() : rhs.substr(first);
    Value value;
    std::string why;
    if (!ParseValueData(rhs, &value, &why)) {
      std::fprintf(stderr, "regseed: %s:%d: %s: %s\n", file, lineno, why.c_str(), line.c_str());
      return 2;
    }
    if (!have_section) {
      std::fprintf(stderr, "regseed: %s:%d: value outside a key\n", file, lineno);
      return 2;
    }
    if (in_deleted_or_none) continue;  // values of a [-KEY] section mean nothing
    LONG rc;
    if (value.remove) {
      rc = RegDeleteValueA(current.get(), name.c_str());
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    } else if (value.raw) {
      // As regedit does for version 5 files: hex(1), hex(2) and hex(7) hold
      // UTF-16LE bytes, so they must not go through the ANSI conversion of
      // RegSetValueExA. This also keeps odd lengths and missing NULs.
      std::wstring wide_name(name.size() + 1, L'\0');
      int n = MultiByteToWideChar(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()),
                                  &wide_name[0], static_cast<int>(wide_name.size()));
      wide_name.resize(n > 0 ? n : 0);
      rc = RegSetValueExW(current.get(), wide_name.c_str(), 0, value.type,
                          value.data.empty() ? nullptr : value.data.data(),
                          static_cast<DWORD>(value.data.size()));
    } else {
      rc = RegSetValueExA(current.get(), name.c_str(), 0, value.type,
                          value.data.empty() ? nullptr : value.data.data(),
                          static_cast<DWORD>(value.data.size()));
    }
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "regseed: %s\\%s: %s\n", section.c_str(), name.c_str(),
                   ErrorText(rc).c_str());
      status = 1;
    }
  }
  return status;
}

// ---- dumping -------------------------------------------------------------

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string FormatData(DWORD type, const std::vector<BYTE>& data) {
  char buf[32];
  if (type == REG_DWORD && data.size() == 4) {
    DWORD dw;
    std::memcpy(&dw, data.data(), 4);
    std::snprintf(buf, sizeof(buf), "dword:%08lx", static_cast<unsigned long>(dw));
    return buf;
  }
  if (type == REG_SZ && !data.empty() && data.back() == 0 &&
      std::find(data.begin(), data.end() - 1, 0) == data.end() - 1) {
    return Quote(std::string(data.begin(), data.end() - 1));
  }
  std::string out;
  if (type == REG_BINARY) {
    out = "hex:";
  } else {
    std::snprintf(buf, sizeof(buf), "hex(%lx):", static_cast<unsigned long>(type));
    out = buf;
  }
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof(buf), i ? ",%02x" : "%02x", data[i]);
    out += buf;
  }
  return out;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return _stricmp(a.c_str(), b.c_str()) < 0;
}

LONG DumpKey(HKEY key, const std::string& path) {
  std::printf("[%s]\n", path.c_str());
  struct Entry {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::vector<Entry> values;
  // Buffers as large as the key's largest value, on the heap: values may
  // exceed any fixed size, and the walk recurses.
  DWORD max_name = 0, max_data = 0;
  LONG info = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &max_name, &max_data, nullptr, nullptr);
  if (info != ERROR_SUCCESS) {
    // Some keys are no real keys: Wine opens ...\Perflib\009 as the
    // performance-text pseudo handle, which answers no enumeration. Say so
    // and go on with the rest of the tree.
    std::printf("; not enumerable: %s\n\n", ErrorText(info).c_str());
    return ERROR_SUCCESS;
  }
  std::vector<char> name(max_name + 2);
  std::vector<BYTE> data(max_data + 2);
  for (DWORD i = 0;; ++i) {
    DWORD name_len = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD data_len = static_cast<DWORD>(data.size());
    LONG rc = RegEnumValueA(key, i, name.data(), &name_len, nullptr, &type, data.data(), &data_len);
    if (rc == ERROR_MORE_DATA) {  // grew meanwhile, or ANSI is longer: once more, larger
      name.resize(name.size() * 2 + 256);
      data.resize(std::max<size_t>(data.size() * 2, data_len + 2));
      --i;
      continue;
    }
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    values.push_back({std::string(name.data(), name_len), type,
                      std::vector<BYTE>(data.begin(), data.begin() + data_len)});
  }
  std::sort(values.begin(), values.end(),
            [](const Entry& a, const Entry& b) { return LessNoCase(a.name, b.name); });
  for (const Entry& v : values) {
    std::printf("%s=%s\n", v.name.empty() ? "@" : Quote(v.name).c_str(),
                FormatData(v.type, v.data).c_str());
  }
  std::printf("\n");

  std::vector<std::string> children;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD len = sizeof(name);
    LONG rc = RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    children.emplace_back(name, len);
  }
  std::sort(children.begin(), children.end(), LessNoCase);
  for (const std::string& child : children) {
    Key sub;
    LONG rc = RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, sub.put());
    if (rc != ERROR_SUCCESS) return rc;
    rc = DumpKey(sub.get(), path + "\\" + child);
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

int Dump(const std::string& path) {
  HKEY root;
  std::string sub, root_name;
  if (!SplitKeyPath(path, &root, &sub, &root_name)) {
    std::fprintf(stderr, "regseed: bad key path: %s\n", path.c_str());
    return 2;
  }
  Key key;
  LONG rc = RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, key.put());
  if (rc == ERROR_SUCCESS) {
    rc = DumpKey(key.get(), sub.empty() ? root_name : root_name + "\\" + sub);
  }
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "regseed: cannot dump %s: %s\n", path.c_str(), ErrorText(rc).c_str());
    return 1;
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: regseed apply <profile.reg>\n"
               "       regseed clear [key ...]\n"
               "       regseed dump <key>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  int rc;
  if (cmd == "apply" && argc == 3) {
    rc = Apply(argv[2]);
  } else if (cmd == "clear") {
    std::vector<std::string> keys(argv + 2, argv + argc);
    if (keys.empty()) keys.assign(std::begin(kDefaultClearKeys), std::end(kDefaultClearKeys));
    rc = Clear(keys);
  } else if (cmd == "dump" && argc == 3) {
    rc = Dump(argv[2]);
  } else {
    return Usage();
  }
  std::fflush(stdout);
  return rc;
}
