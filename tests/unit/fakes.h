// In-memory stand-ins for the seams: a registry seeded from .reg profiles, a
// support library whose entry points can be made to fail, the event log, the
// platform and the window. Each records what was asked of it, so a run can
// be written out as a transcript.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/platform.h"
#include "common/event_log.h"
#include "common/run_error.h"
#include "support/support.h"
#include "ui/form1.h"
#include "ui/form1_handlers.h"

namespace kestrad::testing {

class FakeLog : public EventLog {
 public:
  void Report(EventType type, EventId id, const std::string& text) override {
    run->Report(type, id, text, machine);
  }
  // A machine's of a list writes into the run's, from its own thread.
  void Report(EventType type, EventId id, const std::string& text, const std::string& at) {
    static std::mutex one_at_a_time;
    std::lock_guard<std::mutex> hold(one_at_a_time);
    entries.push_back({type, id, text, at});
  }
  FakeLog* run = this;
  void MoveTo(const std::string& m) override { machine = m; }
  struct Entry {
    EventType type;
    EventId id;
    std::string text, machine;
  };
  std::string machine;  // empty: this machine's log
  std::vector<Entry> entries;
};

// A registry value: a DWORD or a string.
struct Value {
  bool is_dword;
  std::int32_t dword;
  std::string text;
};

class FakeSupport : public Support {
 public:
  // Key paths relative to HKLM, upper-cased, each with its values.
  std::map<std::string, std::map<std::string, Value>> keys;
  std::set<std::string> failing;  // entry points that cannot be reached
  std::vector<std::string> calls;
  std::vector<std::string> opened, written;
  std::string console;  // what reached standard output
  std::string errors;   // ... and standard error
  // Whether standard error is a console, which alone shows progress lines;
  // those it showed, in order.
  bool progress_console = false;
  std::vector<std::string> progress;
  bool console_open = true, native_console = true;
  bool output = true;  // false: standard output goes nowhere, every line fails
  // Keys the user may not write: "*" every key, else those whose path holds this.
  std::string read_only;
  // The hive the registry answers to: this machine's until ConnectRegistry
  // reaches it by its own name. A call on any other hive is noted here.
  std::uint32_t hive = kHiveLocalMachine;
  std::vector<std::string> strays;
  // The connected machine stops answering at its n-th registry call (1-based),
  // as the binding tells a failure that is not "not there": every call from
  // then on throws MachineLost. 0: never.
  int lost_at = 0;

  // Applies a .reg file's text: keys, deleted keys, DWORD and string values.
  void Apply(const std::string& reg_text);

  std::int32_t LibVersion() override { return Enter("LibVersion"), 0; }
  bool ReadDWORDFromRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                             std::int32_t& value) override;
  std::string ReadStringFromRegistry(std::uint32_t hive, const std::string& key,
                                     const std::string& name) override;
  bool WriteDWORDToRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                            std::int32_t value) override;
  bool KeyExists(std::uint32_t hive, const std::string& key) override;
  std::uint32_t ConnectRegistry(const std::string& machine) override;
  void DisconnectRegistry(std::uint32_t hive) override;
  void ShellRun(const std::string& address) override {
    Enter("ShellRun");
    opened.push_back(address);
  }
  std::vector<std::string> GetArgs(const std::string& text) override;
  void OpenConsole() override { Enter("OpenConsole"); }
  bool ConsoleOpen() override { return Enter("ConsoleOpen"), console_open; }
  // A console let go takes no more lines; a file or pipe still does.
  void CloseConsole() override { Enter("CloseConsole"), released = progress_console; }
  void SetConsoleAttributes(std::int32_t f, std::int32_t b) override {
    Enter("SetConsoleAttributes(" + std::to_string(f) + "," + std::to_string(b) + ")");
  }
  void ClearConsoleAttributes() override { Enter("ClearConsoleAttributes"); }
  void Writes(const std::string& text) override { Enter("Writes"), console += text; }
  bool WriteLn(const std::string& text) override {
    Enter("WriteLn");
    if (!output) return false;
    console += text + "\r\n";
    return true;
  }
  bool WriteErrLn(const std::string& text) override {
    Enter("WriteErrLn");
    if (released) return false;
    errors += text + "\r\n";
    return true;
  }
  bool released = false;
  bool WriteErrProgress(const std::string& text) override {
    Enter("WriteErrProgress");
    if (progress_console) progress.push_back(text);
    return progress_console;
  }
  bool InNativeConsole() override { return Enter("InNativeConsole"), native_console; }
  void Pause(const std::string& prompt) override { Enter("Pause"), console += prompt; }

 private:
  void Enter(const std::string& call);
  bool Addressed(std::uint32_t h);
  int remote_calls_ = 0;
  const Value* Find(std::uint32_t hive, const std::string& key, const std::string& name);
};

// Form1 with every control of the layout table: its caption, state, colour,
// enabled state and text.
class FakeForm : public Form1 {
 public:
  FakeForm(Support& support, EventLog& log);

  void Load() override;
  bool Loaded() const override { return loaded; }
  // A button press as the window delivers it: nothing while it is disabled.
  void Press(const std::string& button);

  struct Control {
    std::string caption, tooltip;
    CheckState state = CheckState::Unchecked;
    std::uint32_t colour = kBlack;
    bool enabled = true;
  };
  bool loaded = false;
  std::string title;
  std::vector<Control> controls;
  std::set<std::string> failing;  // operations that fail at run time
  int fail_append = 0;            // the n-th append (1-based) fails
  struct Shown {
    int style;
    std::string title, prompt;
  };
  std::vector<Shown>* boxes = nullptr;  // shared with the platform, in order; none: not kept

  void SetCaption(int ch, Indicator b, const std::string& c) override;
  void SetState(int ch, Indicator b, CheckState s) override;
  void SetColour(int ch, Indicator b, std::uint32_t c) override;
  void AppendText(int ch, const std::string& piece) override;
  std::size_t TextLength(int ch) override;
  void SetSelStart(int ch, std::size_t) override { Op("SetSelStart"), Text(ch); }
  void SetFixEnabled(bool e) override;
  void GetDriverVersions() override;
  void Show() override { Op("Show"); }
  void SetTitle(const std::string& t) override { Op("SetTitle"), title = t; }
  void SetTooltip(form1::ControlId id, const std::string& t) override;
  void ShowInformation(const std::string& prompt, const std::string& title) override;

 private:
  void Op(const std::string& name);
  Control& Box(int ch, Indicator b);
  std::string& Text(int ch);

  Support& support_;
  EventLog& log_;
  Form1Handlers handlers_;
  int appends_ = 0;
};

class FakePlatform : public Platform {
 public:
  FakePlatform(FakeForm& form, FakeLog& log) : log_(log) { form.boxes = &boxes; }
  std::map<std::string, std::string> files;  // path: its text; none other can be read
  std::string args;
  std::vector<FakeForm::Shown> boxes;
  bool ended = false;
  int exit_code = -1;

  std::string ArgumentText() override { return args; }
  // The en and em dash of Windows-1252.
  std::vector<std::string> PastedDashes() override { return {"\x96", "\x97"}; }
  std::string ComputerName() override { return "WORKSHOP-07"; }
  void ShowMessageBox(const std::string& p, const std::string& t, BoxStyle s) override {
    boxes.push_back({static_cast<int>(s), t, p});
  }
  void EndProgram(int code) override { ended = true, exit_code = code; }
  std::string ReadFile(const std::string& path) override {
    const auto f = files.find(path);
    if (f == files.end()) throw RunError(2, "The system cannot find the file specified");
    return f->second;
  }
  std::unique_ptr<EventLog> NewEventLog() override {
    auto log = std::make_unique<FakeLog>();
    log->run = &log_;
    return log;
  }
  // One job after the other, in the list's order: a transcript is the same
  // at every run. The threads are the list test's.
  void SideBySide(std::size_t count, std::size_t, const std::function<void(std::size_t)>& job,
                  const std::function<void(std::size_t)>& done) override {
    for (std::size_t i = 0; i < count; ++i) job(i), done(i);
  }

 private:
  FakeLog& log_;
};

}  // namespace kestrad::testing
