// In-memory fakes of the seams, recording what was asked of them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/platform.h"
#include "check/channel_window.h"
#include "common/event_log.h"
#include "common/run_error.h"
#include "support/support.h"

namespace kestrad::testing {

class FakeLog : public EventLog {
 public:
  struct Entry {
    EventType type;
    std::string text;
  };
  void Report(EventType type, const std::string& text) override { entries.push_back({type, text}); }
  std::vector<Entry> entries;
};

// A registry of DWORD and string values keyed by "key\name", and a support
// library whose entry points can be made to fail one by one.
class FakeSupport : public Support {
 public:
  std::map<std::string, std::int32_t> dwords;
  std::map<std::string, std::string> strings;
  std::set<std::string> failing;   // entry points that throw RunError
  std::vector<std::string> calls;  // entry point names, in call order
  std::vector<std::string> reads;  // "key\name" of each DWORD read
  std::vector<std::pair<std::string, std::int32_t>> writes;
  std::set<std::string> unwritable;  // "key\name" whose write returns 0
  std::vector<std::string> console;  // "W:text" for Writes, "L:text" for WriteLn, ...
  std::vector<std::string> args;
  bool console_open = true;
  bool native_console = true;

  static std::string Path(const std::string& key, const std::string& name) {
    return key + "\\" + name;
  }
  void SetDword(const std::string& key, const std::string& name, std::int32_t v) {
    dwords[Path(key, name)] = v;
  }

  std::int32_t LibVersion() override { return Enter("LibVersion"), 0; }
  bool ReadDWORDFromRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                             std::int32_t& value) override {
    Enter("ReadDWORDFromRegistry");
    reads.push_back(Path(key, name));
    auto it = dwords.find(Path(key, name));
    if (hive != kHiveLocalMachine || it == dwords.end()) return false;
    value = it->second;
    return true;
  }
  std::string ReadStringFromRegistry(std::uint32_t, const std::string& key,
                                     const std::string& name) override {
    Enter("ReadStringFromRegistry");
    auto it = strings.find(Path(key, name));
    return it == strings.end() ? std::string() : it->second;
  }
  bool WriteDWORDToRegistry(std::uint32_t, const std::string& key, const std::string& name,
                            std::int32_t value) override {
    Enter("WriteDWORDToRegistry");
    if (unwritable.count(Path(key, name))) return false;
    writes.emplace_back(Path(key, name), value);
    dwords[Path(key, name)] = value;
    return true;
  }
  void ShellRun(const std::string& address) override {
    Enter("ShellRun");
    console.push_back("R:" + address);
  }
  std::vector<std::string> GetArgs(const std::string&) override {
    Enter("GetArgs");
    return args;
  }
  void OpenConsole() override { Enter("OpenConsole"); }
  bool ConsoleOpen() override { return Enter("ConsoleOpen"), console_open; }
  void CloseConsole() override { Enter("CloseConsole"); }
  void SetConsoleAttributes(std::int32_t f, std::int32_t b) override {
    Enter("SetConsoleAttributes");
    console.push_back("A:" + std::to_string(f) + "," + std::to_string(b));
  }
  void ClearConsoleAttributes() override {
    Enter("ClearConsoleAttributes");
    console.push_back("A:clear");
  }
  void Writes(const std::string& text) override {
    Enter("Writes");
    console.push_back("W:" + text);
  }
  void WriteLn(const std::string& text) override {
    Enter("WriteLn");
    console.push_back("L:" + text);
  }
  bool InNativeConsole() override { return Enter("InNativeConsole"), native_console; }
  void Pause(const std::string& prompt) override {
    Enter("Pause");
    console.push_back("P:" + prompt);
  }

 private:
  void Enter(const std::string& name) {
    calls.push_back(name);
    if (failing.count(name)) throw RunError(453, "Entry point " + name + " not found in tamarak9.dll");
  }
};

// The window as the channel test sees it.
class FakeWindow : public ChannelWindow, public WindowRef {
 public:
  struct Box {
    std::string caption;
    CheckState state = CheckState::Unchecked;
    std::uint32_t colour = kBlack;
  };
  std::map<std::pair<int, Indicator>, Box> boxes;
  std::string text[2];
  std::size_t sel_start[2] = {0, 0};
  bool fix_enabled = false;
  int references = 0;
  int driver_version_calls = 0;
  // Operation names ("SetCaption", "AppendText", ...) whose next calls throw.
  std::set<std::string> failing;
  // Fails only the n-th AppendText (1-based) when set.
  int fail_append_number = 0;
  int append_count = 0;

  ChannelWindow& Window() override {
    ++references;
    return *this;
  }
  void SetCaption(int ch, Indicator b, const std::string& c) override {
    Check("SetCaption");
    boxes[{ch, b}].caption = c;
  }
  void SetState(int ch, Indicator b, CheckState s) override {
    Check("SetState");
    boxes[{ch, b}].state = s;
  }
  void SetColour(int ch, Indicator b, std::uint32_t c) override {
    Check("SetColour");
    boxes[{ch, b}].colour = c;
  }
  void AppendText(int ch, const std::string& piece) override {
    ++append_count;
    if (append_count == fail_append_number) throw RunError(5, "Invalid procedure call");
    Check("AppendText");
    text[ch] += piece;
  }
  std::size_t TextLength(int ch) override { return Check("TextLength"), text[ch].size(); }
  void SetSelStart(int ch, std::size_t p) override {
    Check("SetSelStart");
    sel_start[ch] = p;
  }
  void SetFixEnabled(bool e) override {
    Check("SetFixEnabled");
    fix_enabled = e;
  }
  void GetDriverVersions() override {
    Check("GetDriverVersions");
    ++driver_version_calls;
    for (auto& t : text) t += "<driver>\r\n";
  }

  const Box& box(int ch, Indicator b) { return boxes[{ch, b}]; }

 private:
  void Check(const std::string& op) {
    if (failing.count(op)) throw RunError(13, "Type mismatch in " + op);
  }
};

class FakePlatform : public Platform {
 public:
  struct Shown {
    std::string prompt, title;
    BoxStyle style;
  };
  std::string command_line;
  std::vector<Shown> boxes;
  int form_loads = 0;
  int ends = 0;
  std::vector<std::string>* journal = nullptr;  // shared order of events, if set

  std::string CommandLineArgs() override { return command_line; }
  void ShowMessageBox(const std::string& p, const std::string& t, BoxStyle s) override {
    boxes.push_back({p, t, s});
    if (journal) journal->push_back("box:" + t);
  }
  void LoadForm1() override {
    ++form_loads;
    if (journal) journal->push_back("form");
  }
  void EndProgram() override {
    ++ends;
    if (journal) journal->push_back("end");
  }
};

}  // namespace kestrad::testing
