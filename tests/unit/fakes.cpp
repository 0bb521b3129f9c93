#include "fakes.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "app/command_line.h"
#include "common/program.h"
#include "ui/driver_versions.h"

namespace kestrad::testing {

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A quoted .reg name or string, from its opening quote; `at` ends past it.
std::string Quoted(const std::string& line, std::size_t& at) {
  std::string out;
  for (++at; at < line.size() && line[at] != '"'; ++at) {
    if (line[at] == '\\' && at + 1 < line.size()) ++at;
    out += line[at];
  }
  ++at;
  return out;
}

}  // namespace

void FakeSupport::Apply(const std::string& reg_text) {
  const std::string root = "HKEY_LOCAL_MACHINE\\";
  std::istringstream in(reg_text);
  std::string line, key;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("[-", 0) == 0) {
      const std::string gone = Upper(line.substr(2 + root.size(), line.size() - 3 - root.size()));
      for (auto it = keys.begin(); it != keys.end();) {
        it = (it->first == gone || it->first.rfind(gone + "\\", 0) == 0) ? keys.erase(it) : ++it;
      }
    } else if (line.rfind("[", 0) == 0) {
      key = Upper(line.substr(1 + root.size(), line.size() - 2 - root.size()));
      keys[key];
    } else if (line.rfind("\"", 0) == 0) {
      std::size_t at = 0;
      const std::string name = Upper(Quoted(line, at));
      const std::string data = line.substr(at + 1);
      if (data == "-") {
        keys[key].erase(name);
      } else if (data.rfind("dword:", 0) == 0) {
        keys[key][name] = {
            true, static_cast<std::int32_t>(std::stoul(data.substr(6), nullptr, 16)), {}};
      } else if (data.rfind("hex(1):", 0) == 0) {
        // UTF-16 bytes "41,00,..." up to the NUL; the profiles' texts are ASCII.
        std::string text;
        for (std::size_t i = 7; i + 1 < data.size() && data.compare(i, 2, "00"); i += 6)
          text += static_cast<char>(std::stoul(data.substr(i, 2), nullptr, 16));
        keys[key][name] = {false, 0, text};
      } else {
        std::size_t q = at + 1;
        keys[key][name] = {false, 0, Quoted(line, q)};
      }
    }
  }
}

void FakeSupport::Enter(const std::string& call) {
  calls.push_back(call);
  const std::string name = call.substr(0, call.find('('));
  if (failing.count("*"))
    throw RunError(126, std::string("Cannot load ") + kLibraryFile + ": Module not found");
  if (failing.count(name))
    throw RunError(127, "Entry point " + name + " not found in " + kLibraryFile);
}

bool FakeSupport::Addressed(std::uint32_t h) {
  if (h == hive && hive != kHiveLocalMachine && lost_at > 0 && ++remote_calls_ >= lost_at)
    throw MachineLost(53, "The network path was not found");
  if (h != hive) strays.push_back(calls.back() + " on " + std::to_string(h));
  return h == hive;
}

const Value* FakeSupport::Find(std::uint32_t h, const std::string& key, const std::string& name) {
  const auto k = keys.find(Upper(key));
  if (!Addressed(h) || k == keys.end()) return nullptr;
  const auto v = k->second.find(Upper(name));
  return v == k->second.end() ? nullptr : &v->second;
}

bool FakeSupport::ReadDWORDFromRegistry(std::uint32_t h, const std::string& key,
                                        const std::string& name, std::int32_t& value) {
  Enter("ReadDWORDFromRegistry");
  const Value* v = Find(h, key, name);
  if (v == nullptr || !v->is_dword) return false;
  value = v->dword;
  return true;
}

std::string FakeSupport::ReadStringFromRegistry(std::uint32_t h, const std::string& key,
                                                const std::string& name) {
  Enter("ReadStringFromRegistry");
  const Value* v = Find(h, key, name);
  return v == nullptr || v->is_dword ? std::string() : v->text;
}

bool FakeSupport::WriteDWORDToRegistry(std::uint32_t h, const std::string& key,
                                       const std::string& name, std::int32_t value) {
  Enter("WriteDWORDToRegistry");
  // Like the library: a key that is not there is never created.
  const auto k = keys.find(Upper(key));
  const bool refused = read_only == "*" || (!read_only.empty() &&
                                            Upper(key).find(Upper(read_only)) != std::string::npos);
  if (!Addressed(h) || k == keys.end() || refused) return false;
  k->second[Upper(name)] = {true, value, {}};
  written.push_back(key + "\\" + name + " = " + std::to_string(value));
  return true;
}

bool FakeSupport::KeyExists(std::uint32_t h, const std::string& key) {
  Enter("KeyExists");
  return Addressed(h) && keys.count(Upper(key)) != 0;
}

std::uint32_t FakeSupport::ConnectRegistry(const std::string& machine) {
  Enter("ConnectRegistry");
  // No machine but itself, by its name or its DNS name.
  const std::string name = Upper(machine);
  if (name != "WORKSHOP-07" && name != "WORKSHOP-07.LAB.EXAMPLE")
    throw RunError(53, "The network path was not found");
  // The program passes the hive on as it is: any value but this machine's.
  return hive = ~kHiveLocalMachine;
}

void FakeSupport::DisconnectRegistry(std::uint32_t h) {
  Enter("DisconnectRegistry");
  if (h != hive || hive == kHiveLocalMachine) throw RunError(87, "The parameter is incorrect");
  // The freed hive answers no more: a call on it is a stray.
  hive = kHiveLocalMachine;
}

std::vector<std::string> FakeSupport::GetArgs(const std::string& text) {
  Enter("GetArgs");
  return SplitArguments(text);
}

FakeForm::FakeForm(Support& support, EventLog& log)
    : support_(support), log_(log), handlers_(support, log, *this) {
  for (const form1::ControlSpec& spec : form1::Controls()) controls.push_back({spec.caption, {}});
}

void FakeForm::Load() {
  if (loaded) return;
  loaded = true;
  handlers_.Form_Load();
}

void FakeForm::Press(const std::string& button) {
  for (const form1::ControlSpec& spec : form1::Controls()) {
    std::string caption = spec.caption;
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    if (loaded && caption == button && controls[static_cast<int>(spec.id)].enabled)
      handlers_.Click(spec.id);
  }
}

void FakeForm::Op(const std::string& name) {
  if (failing.count(name)) throw RunError(438, "Object doesn't support this property or method");
}

FakeForm::Control& FakeForm::Box(int ch, Indicator b) {
  return controls[static_cast<std::size_t>(form1::IndicatorControl(ch, b))];
}

std::string& FakeForm::Text(int ch) {
  return controls[static_cast<std::size_t>(form1::TextBoxOf(ch))].caption;
}

void FakeForm::SetCaption(int ch, Indicator b, const std::string& c) {
  Op("SetCaption"), Box(ch, b).caption = c;
}
void FakeForm::SetState(int ch, Indicator b, CheckState s) { Op("SetState"), Box(ch, b).state = s; }
void FakeForm::SetColour(int ch, Indicator b, std::uint32_t c) {
  Op("SetColour"), Box(ch, b).colour = c;
}
void FakeForm::AppendText(int ch, const std::string& piece) {
  if (++appends_ == fail_append) throw RunError(7, "Out of memory");
  Op("AppendText"), Text(ch) += piece;
}
std::size_t FakeForm::TextLength(int ch) { return Op("TextLength"), Text(ch).size(); }
void FakeForm::SetFixEnabled(bool e) {
  Op("SetFixEnabled"), controls[static_cast<int>(form1::ControlId::Command3)].enabled = e;
}
void FakeForm::GetDriverVersions() {
  Op("GetDriverVersions"), kestrad::GetDriverVersions(*this, support_, log_);
}
void FakeForm::SetTooltip(form1::ControlId id, const std::string& t) {
  Op("SetTooltip"), controls[static_cast<std::size_t>(id)].tooltip = t;
}
void FakeForm::ShowInformation(const std::string& prompt, const std::string& t) {
  if (boxes != nullptr) boxes->push_back({static_cast<int>(BoxStyle::Information), t, prompt});
}

}  // namespace kestrad::testing
