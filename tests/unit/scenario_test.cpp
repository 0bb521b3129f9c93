// Runs every transcript of tests/scenarios through the whole program on the
// fakes: the registry profile and command line of its head, then its
// presses, and compares what the program did with the transcript's outcome,
// line by line. The end-to-end runner reads the same files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "app/startup.h"
#include "common/program.h"
#include "common/registry_layout.h"
#include "fakes.h"
#include "tests/transcript_text.h"

namespace kestrad::testing {
namespace {

namespace fs = std::filesystem;
const fs::path kRoot = KESTRAD_SOURCE_DIR;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The lines of a file, without the blank ones and # comments.
std::vector<std::string> Lines(const fs::path& path) {
  std::istringstream in(Read(path));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

// The head: what the run starts from and what is done, in order; then the
// outcome.
struct Scenario {
  std::vector<std::pair<std::string, std::string>> head;
  std::vector<std::string> outcome;
  std::string Get(const std::string& key) const {
    for (const auto& [k, v] : head) {
      if (k == key) return v;
    }
    return {};
  }
};

Scenario Parse(const fs::path& path) {
  Scenario s;
  bool head = true;
  for (const std::string& line : Lines(path)) {
    if (line == "== outcome")
      head = false;
    else if (!head)
      s.outcome.push_back(line);
    else
      s.head.emplace_back(line.substr(0, line.find(':')),
                          line.size() > line.find(':') + 1 ? line.substr(line.find(':') + 2) : "");
  }
  return s;
}

// {C} stands for the computer's name, {V} for the program's version and {K}
// for the channel class key (without its last backslash). help.txt states
// the version as it reads, so that the build's version is checked too.
std::string Placeheld(std::string line) {
  std::string class_key = KESTRAD_CHANNEL_CLASS_KEY;
  class_key.pop_back();
  const std::pair<std::string, std::string> placeholders[] = {
      {"{C}", "WORKSHOP-07"}, {"{V}", kVersion}, {"{K}", class_key}, {"{F}", "machines.txt"}};
  for (const auto& [placeholder, text] : placeholders) {
    for (std::size_t at = line.find(placeholder); at != std::string::npos;
         at = line.find(placeholder, at + text.size())) {
      line.replace(at, placeholder.size(), text);
    }
  }
  return line;
}

// Repeated calls in a row as Name*n.
std::string Calls(const std::vector<std::string>& calls) {
  std::string out;
  for (std::size_t i = 0; i < calls.size();) {
    std::size_t n = 1;
    while (i + n < calls.size() && calls[i + n] == calls[i]) ++n;
    out += (out.empty() ? "" : " ") + calls[i] + (n > 1 ? "*" + std::to_string(n) : "");
    i += n;
  }
  return out;
}

std::vector<std::string> Transcript(const Scenario& s) {
  FakeSupport support;
  FakeLog log;
  FakeForm form(support, log);
  FakePlatform platform(form, log);
  const auto profile = [&](const std::string& name) {
    support.Apply(Read(kRoot / "tests/profiles" / (name + ".reg")));
  };
  // Every machine is the healthy one plus the differences of its profile.
  profile("healthy");
  std::istringstream profiles(s.Get("profile"));
  for (std::string name; profiles >> name;) profile(name);
  const std::string library = s.Get("library");
  if (library == "missing") support.failing.insert("*");
  if (library.rfind("no_", 0) == 0) support.failing.insert(library.substr(3));
  for (const auto& [k, v] : s.head) {
    if (k == "fail-window") form.failing.insert(v);
  }
  if (!s.Get("fail-append").empty()) form.fail_append = std::stoi(s.Get("fail-append"));
  if (!s.Get("lost-at").empty()) support.lost_at = std::stoi(s.Get("lost-at"));
  // "read-only" for every key, "read-only 0002" for the keys so named.
  const std::string access = s.Get("access");
  if (access.rfind("read-only", 0) == 0)
    support.read_only = access.size() > 10 ? access.substr(10) : "*";
  support.console_open = s.Get("console") != "closed";
  support.native_console = s.Get("console") != "own";
  // Standard error a console of its own, where a list shows its progress.
  support.progress_console = s.Get("console") == "progress";
  support.output = s.Get("output") != "none";
  platform.args = Placeheld(s.Get("args"));
  // The lines of the list file {F}, when the transcript has one.
  for (const auto& [k, v] : s.head) {
    if (k == "file") platform.files["machines.txt"] += Placeheld(v) + "\r\n";
  }

  const int code = static_cast<int>(Main(support, log, platform, form));
  for (const auto& [k, v] : s.head) {
    if (k == "press") form.Press(v);
    if (k == "registry") profile(v);
  }

  std::vector<std::string> out = {"calls: " + Calls(support.calls)};
  const char* types[] = {"", "Error", "Warning", "", "Information"};
  for (const auto& e : log.entries)
    out.push_back(std::string("entry ") + types[static_cast<int>(e.type)] + " " +
                  std::to_string(static_cast<unsigned>(e.id)) +
                  (e.machine.empty() ? "" : " at \\\\" + e.machine) + ": " +
                  TranscriptText(e.text));
  for (const auto& b : platform.boxes)
    out.push_back("box " + std::to_string(b.style) + ": " + TranscriptText(b.title) + " | " +
                  TranscriptText(b.prompt));
  if (!support.console.empty()) out.push_back("stdout: " + TranscriptText(support.console));
  if (!support.errors.empty()) out.push_back("stderr: " + TranscriptText(support.errors));
  for (const auto& p : support.progress) out.push_back("progress: " + p);
  for (const auto& a : support.opened) out.push_back("opened: " + a);
  for (const auto& w : support.written) out.push_back("written: " + w);
  // A registry call that missed the machine the run works on.
  for (const auto& c : support.strays) out.push_back("stray: " + c);
  if (form.loaded) {
    out.push_back("window: " + form.title);
    std::string red;
    std::vector<std::string> tips;
    for (const form1::ControlSpec& spec : form1::Controls()) {
      const FakeForm::Control& c = form.controls[static_cast<std::size_t>(spec.id)];
      std::string line = std::string(spec.name) + ": ";
      if (spec.kind == form1::ControlKind::Button) line += c.enabled ? "enabled " : "disabled ";
      const char* states[] = {"unchecked ", "checked ", "grayed "};
      if (spec.kind == form1::ControlKind::CheckBox) line += states[static_cast<int>(c.state)];
      out.push_back(line + TranscriptText(c.caption));
      if (c.colour != kBlack) red += std::string(red.empty() ? "" : " ") + spec.name;
      if (!c.tooltip.empty()) tips.push_back(std::string("tip ") + spec.name + ": " + c.tooltip);
    }
    if (!red.empty()) out.push_back("red: " + red);
    if (s.Get("show") == "tips") out.insert(out.end(), tips.begin(), tips.end());
  }
  if (platform.ended) out.push_back("ended");
  out.push_back("exit: " + std::to_string(platform.ended ? platform.exit_code : code));
  return out;
}

// The window right after load, which a transcript's window is written
// against.
const std::vector<std::string>& Baseline() {
  static const std::vector<std::string> lines =
      Lines(kRoot / "tests/scenarios/window-after-load.baseline");
  return lines;
}

std::string Key(const std::string& line) { return line.substr(0, line.find(": ")); }

// The outcome with every control it does not list put back from the
// baseline, in tab order after the window's line.
std::vector<std::string> Expanded(const std::vector<std::string>& outcome) {
  std::map<std::string, std::string> listed;
  for (const std::string& b : Baseline()) {
    for (const std::string& line : outcome) {
      if (Key(line) == Key(b)) listed[Key(b)] = line;
    }
  }
  std::vector<std::string> out;
  for (const std::string& line : outcome) {
    if (listed.count(Key(line))) continue;
    out.push_back(line);
    if (line.rfind("window: ", 0) != 0) continue;
    for (const std::string& b : Baseline())
      out.push_back(listed.count(Key(b)) ? listed[Key(b)] : b);
  }
  return out;
}

// An outcome line matches literally, except that {N} stands for an error
// number and {D} for an error description, which differ between systems.
bool Matches(const std::string& want, const std::string& got) {
  if (want.find("{N}") == std::string::npos && want.find("{D}") == std::string::npos)
    return want == got;
  std::string pattern = std::regex_replace(want, std::regex(R"([\\^$.|?*+()[\]{}])"), R"(\$&)");
  pattern = std::regex_replace(pattern, std::regex(R"(\\\{N\\\})"), "-?[0-9]+");
  return std::regex_match(
      got, std::regex(std::regex_replace(pattern, std::regex(R"(\\\{D\\\})"), ".*?")));
}

class ScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ScenarioTest, OutcomeIsTheTranscript) {
  const Scenario s = Parse(kRoot / "tests/scenarios" / (GetParam() + ".txt"));
  ASSERT_FALSE(s.outcome.empty()) << "no outcome";
  std::vector<std::string> want = Expanded(s.outcome);
  for (std::string& line : want) line = Placeheld(line);
  std::vector<std::string> got = Transcript(s);
  // The library calls are compared where the transcript states them.
  const bool calls = !s.outcome.empty() && Key(s.outcome[0]) == "calls";
  if (!calls) got.erase(got.begin());
  bool same = got.size() == want.size();
  for (std::size_t i = 0; same && i < got.size(); ++i) same = Matches(want[i], got[i]);
  std::string all;
  for (const auto& line : got) {
    if (std::find(Baseline().begin(), Baseline().end(), line) == Baseline().end())
      all += line + "\n";
  }
  EXPECT_TRUE(same)
      << "the program did this instead (controls as after load left out):\n== outcome\n"
      << all;
}

std::vector<std::string> ScenarioNames() {
  std::vector<std::string> names;
  for (const auto& f : fs::directory_iterator(kRoot / "tests/scenarios")) {
    if (f.path().extension() == ".txt") names.push_back(f.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Transcripts, ScenarioTest, ::testing::ValuesIn(ScenarioNames()),
                         [](const auto& test) {
                           std::string name = test.param;
                           for (char& c : name)
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace kestrad::testing
