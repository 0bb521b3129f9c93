// tamarak9.dll's registry entry points against the real (Wine) registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "test_library.h"

namespace {

using kestrad_test::kHiveCurrentUser;

constexpr int32_t kUntouched = 0x5A5A5A5A;

// Where the library finds the registry functions: kernelbase where it has
// them (as Wine's does), or ADVAPI32, as on a system whose kernelbase lacks
// them or that has none (Windows 7 and older).
enum class Source { Kernelbase, Advapi32 };

// What the library asks GetProcAddress for, seen through its import.
bool g_hide_kernelbase = false;
bool g_asked_kernelbase = false;
bool g_asked_advapi32 = false;

FARPROC WINAPI WatchedGetProcAddress(HMODULE module, LPCSTR name) {
  const bool kernelbase = module == GetModuleHandleW(L"kernelbase.dll");
  g_asked_kernelbase |= kernelbase;
  g_asked_advapi32 |= module == GetModuleHandleW(L"advapi32.dll");
  return kernelbase && g_hide_kernelbase ? nullptr : GetProcAddress(module, name);
}

class RegistryTest : public testing::TestWithParam<Source> {
 protected:
  RegistryTest()
      : library_(kestrad_test::LibraryPath()),
        read_dword_(library_.Get<T9ReadDWORDFromRegistryFn>("ReadDWORDFromRegistry")),
        read_string_(library_.Get<T9ReadStringFromRegistryFn>("ReadStringFromRegistry")),
        write_dword_(library_.Get<T9WriteDWORDToRegistryFn>("WriteDWORDToRegistry")),
        watch_(library_.get(), "GetProcAddress",
               reinterpret_cast<const void*>(&WatchedGetProcAddress)) {
    g_hide_kernelbase = GetParam() == Source::Advapi32;
    g_asked_kernelbase = g_asked_advapi32 = false;
  }

  // Every test reads or writes, so each asked exactly one of the two.
  void TearDown() override {
    ASSERT_TRUE(watch_.patched());
    EXPECT_TRUE(g_asked_kernelbase);
    EXPECT_EQ(g_asked_advapi32, GetParam() == Source::Advapi32);
  }

  // What the library returns and the string it gives, or nothing when it returns 0.
  std::pair<uint32_t, std::string> ReadString(uint32_t hive, const std::string& key,
                                              const char* name) {
    const uint32_t needed = read_string_(hive, key.c_str(), name, nullptr, 0);
    if (needed == 0) return {0, {}};
    std::vector<char> buffer(needed + 1, '#');
    const uint32_t result = read_string_(hive, key.c_str(), name, buffer.data(), needed);
    EXPECT_EQ(result, needed);
    EXPECT_EQ(buffer[needed - 1], '\0');
    EXPECT_EQ(buffer[needed], '#') << "wrote past the size it asked for";
    return {result, std::string(buffer.data())};
  }

  kestrad_test::Library library_;
  T9ReadDWORDFromRegistryFn read_dword_;
  T9ReadStringFromRegistryFn read_string_;
  T9WriteDWORDToRegistryFn write_dword_;
  kestrad_test::ImportPatch watch_;
  kestrad_test::ScratchKey key_;
};

INSTANTIATE_TEST_SUITE_P(, RegistryTest, testing::Values(Source::Kernelbase, Source::Advapi32),
                         [](const testing::TestParamInfo<Source>& info) {
                           return info.param == Source::Kernelbase ? "Kernelbase" : "Advapi32";
                         });

TEST_P(RegistryTest, ReadsOnlyFourByteDwords) {
  const struct {
    const char* label;
    DWORD type;
    std::vector<BYTE> data;
    bool read;
    int32_t value;
  } cases[] = {
      {"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, true, 0x12345678},
      {"negative dword", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, true, -1},
      {"zero dword", REG_DWORD, {0, 0, 0, 0}, true, 0},
      {"2-byte dword", REG_DWORD, {1, 0}, false, 0},
      {"8-byte dword", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false, 0},
      {"empty dword", REG_DWORD, {}, false, 0},
      {"string", REG_SZ, {'1', 0, 0, 0}, false, 0},
      {"binary", REG_BINARY, {1, 0, 0, 0}, false, 0},
      {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false, 0},
      {"big-endian dword", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    key_.SetRaw(L"v", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    int32_t value = kUntouched;
    EXPECT_EQ(read_dword_(kHiveCurrentUser, key_.path().c_str(), "v", &value) != 0, c.read);
    EXPECT_EQ(value, c.read ? c.value : kUntouched);
  }
}

TEST_P(RegistryTest, DwordReadFailsWithoutKeyValueOrPointers) {
  const DWORD one = 1;
  key_.SetRaw(L"v", REG_DWORD, &one, sizeof(one));
  const std::string missing_key = key_.path() + "\\missing";
  int32_t value = kUntouched;
  EXPECT_EQ(read_dword_(kHiveCurrentUser, missing_key.c_str(), "v", &value), 0);
  EXPECT_EQ(read_dword_(kHiveCurrentUser, key_.path().c_str(), "missing", &value), 0);
  EXPECT_EQ(read_dword_(kHiveCurrentUser, nullptr, "v", &value), 0);
  EXPECT_EQ(read_dword_(kHiveCurrentUser, key_.path().c_str(), nullptr, &value), 0);
  EXPECT_EQ(read_dword_(kHiveCurrentUser, key_.path().c_str(), "v", nullptr), 0);
  EXPECT_EQ(value, kUntouched);
  EXPECT_NE(read_dword_(kHiveCurrentUser, key_.path().c_str(), "v", &value), 0);
  EXPECT_EQ(value, 1);
}

TEST_P(RegistryTest, ReadsStringsWhateverTheirTermination) {
  const struct {
    const char* label;
    DWORD type;
    std::wstring data;  // stored as is, with `bytes` bytes of it
    DWORD bytes;
    uint32_t result;
    std::string text;
  } cases[] = {
      {"terminated", REG_SZ, L"hello", 12, 6, "hello"},
      {"unterminated", REG_SZ, L"hello", 10, 6, "hello"},
      {"odd byte count", REG_SZ, L"hello", 11, 6, "hello"},
      {"single byte", REG_SZ, L"h", 1, 1, ""},
      {"empty", REG_SZ, L"", 2, 1, ""},
      {"no bytes", REG_SZ, L"", 0, 1, ""},
      {"embedded NUL", REG_SZ, std::wstring(L"ab\0cd", 5), 10, 3, "ab"},
      {"expand not expanded", REG_EXPAND_SZ, L"%SystemRoot%\\x", 30, 15, "%SystemRoot%\\x"},
      {"multi string", REG_MULTI_SZ, std::wstring(L"a\0b\0", 4), 8, 0, ""},
      {"binary", REG_BINARY, L"hello", 10, 0, ""},
      {"dword", REG_DWORD, L"ab", 4, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    key_.SetRaw(L"s", c.type, c.data.c_str(), c.bytes);
    EXPECT_EQ(ReadString(kHiveCurrentUser, key_.path(), "s"), std::make_pair(c.result, c.text));
  }
}

TEST_P(RegistryTest, StringIsConvertedToTheAnsiCodePage) {
  const std::wstring text = L"caf\u00e9 \u00fc";
  key_.SetRaw(L"s", REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
  char expected[32] = {};
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, expected, sizeof(expected), nullptr, nullptr);
  EXPECT_EQ(ReadString(kHiveCurrentUser, key_.path(), "s").second, expected);
}

TEST_P(RegistryTest, SmallBufferIsLeftAloneAndSizeReported) {
  key_.SetRaw(L"s", REG_SZ, L"hello", 12);
  char buffer[6] = {'#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(read_string_(kHiveCurrentUser, key_.path().c_str(), "s", buffer, 5), 6u);
  EXPECT_EQ(std::string(buffer, 6), "######");
  EXPECT_EQ(read_string_(kHiveCurrentUser, key_.path().c_str(), "missing", buffer, 6), 0u);
  const std::string missing_key = key_.path() + "\\missing";
  EXPECT_EQ(read_string_(kHiveCurrentUser, missing_key.c_str(), "s", buffer, 6), 0u);
  EXPECT_EQ(read_string_(kHiveCurrentUser, nullptr, "s", buffer, 6), 0u);
  EXPECT_EQ(std::string(buffer, 6), "######");
}

TEST_P(RegistryTest, WriteStoresAFourByteDword) {
  key_.SetRaw(L"v", REG_SZ, L"old", 8);
  ASSERT_NE(write_dword_(kHiveCurrentUser, key_.path().c_str(), "v", -2), 0);
  DWORD type = 0, data = 0, bytes = sizeof(data);
  ASSERT_EQ(
      RegQueryValueExA(key_.get(), "v", nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(bytes, 4u);
  EXPECT_EQ(data, 0xFFFFFFFEu);
}

// The unattended repair asks first whether the key is there.
TEST_P(RegistryTest, WriteNeverCreatesAMissingKeyAndKeyExistsTellsOne) {
  const auto key_exists = library_.Get<T9KeyExistsFn>("KeyExists");
  const std::string missing = key_.path() + "\\missing";
  EXPECT_NE(key_exists(kHiveCurrentUser, key_.path().c_str()), 0);
  EXPECT_EQ(key_exists(kHiveCurrentUser, missing.c_str()), 0);
  EXPECT_EQ(key_exists(kHiveCurrentUser, nullptr), 0);
  // A failure that is no "not found" (here a hive that is no hive) counts as there.
  EXPECT_NE(key_exists(0x80000099u, "Software"), 0);
  EXPECT_EQ(write_dword_(kHiveCurrentUser, missing.c_str(), "v", 1), 0);
  EXPECT_EQ(key_exists(kHiveCurrentUser, missing.c_str()), 0);
  EXPECT_EQ(write_dword_(kHiveCurrentUser, nullptr, "v", 1), 0);
  EXPECT_EQ(write_dword_(kHiveCurrentUser, key_.path().c_str(), nullptr, 1), 0);
}

}  // namespace

// Another machine's HKEY_LOCAL_MACHINE, reached by name. Wine reaches only
// this machine, by its own name.
class ConnectRegistryTest : public testing::Test {
 protected:
  ConnectRegistryTest() {
    DWORD size = sizeof own_;
    EXPECT_TRUE(GetComputerNameA(own_, &size));
  }

  // Whether `hive` reads this machine's name; safe from any thread.
  bool ReadsOwnName(uint32_t hive) const {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    return read_string_(hive, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                        "ComputerName", name, sizeof name) != 0 &&
           std::strcmp(name, own_) == 0;
  }

  // Connects until the library refuses, then frees every hive it gave; how
  // many it gave.
  int ConnectAllThenFree() {
    std::vector<uint32_t> hives;
    uint32_t hive = 0;
    int32_t rc = 0;
    while ((rc = connect_(own_, &hive)) == 0) hives.push_back(hive);
    EXPECT_EQ(rc, ERROR_TOO_MANY_OPEN_FILES);
    for (const uint32_t h : hives) EXPECT_EQ(disconnect_(h), 0);
    return static_cast<int>(hives.size());
  }

  const kestrad_test::Library library_{kestrad_test::LibraryPath()};
  const T9ConnectRegistryFn connect_ = library_.Get<T9ConnectRegistryFn>("ConnectRegistry");
  const T9DisconnectRegistryFn disconnect_ =
      library_.Get<T9DisconnectRegistryFn>("DisconnectRegistry");
  const T9ReadStringFromRegistryFn read_string_ =
      library_.Get<T9ReadStringFromRegistryFn>("ReadStringFromRegistry");
  char own_[MAX_COMPUTERNAME_LENGTH + 1] = "";
};

// A name Wine cannot reach, or none (which the system would take for this
// machine), gives the system's error and no hive.
TEST_F(ConnectRegistryTest, OwnNameReachesItsRegistryOthersGiveTheError) {
  uint32_t hive = 7;
  for (const char* none : {"NOSUCHMACHINE", "", "\\\\"}) {
    EXPECT_NE(connect_(none, &hive), 0) << none;
    EXPECT_EQ(hive, 0u);
  }
  EXPECT_EQ(connect_(nullptr, &hive), ERROR_INVALID_PARAMETER);
  for (const std::string& machine : {std::string(own_), "\\\\" + std::string(own_)}) {
    ASSERT_EQ(connect_(machine.c_str(), &hive), 0) << machine;
    EXPECT_NE(hive, 0x80000002u);
    EXPECT_TRUE(ReadsOwnName(hive)) << machine;
    EXPECT_EQ(disconnect_(hive), 0);
  }
}

// A freed hive is no machine's, and is freed once; a hive never handed out
// is none. Every place freed is handed out again, and no more than
// T9_CONNECTIONS at once.
TEST_F(ConnectRegistryTest, FreedHiveReadsNothingAndItsPlaceIsReused) {
  uint32_t hive = 0;
  ASSERT_EQ(connect_(own_, &hive), 0);
  EXPECT_FALSE(ReadsOwnName(hive + 1));
  EXPECT_EQ(disconnect_(hive + 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(disconnect_(0x80000002u), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(disconnect_(hive), 0);
  EXPECT_FALSE(ReadsOwnName(hive));
  EXPECT_EQ(disconnect_(hive), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ConnectAllThenFree(), T9_CONNECTIONS);
  EXPECT_EQ(ConnectAllThenFree(), T9_CONNECTIONS);
}

// Threads each connecting, reading through the hive and freeing it, all at
// once and many more times than there are places: none fails, and every
// place is free afterwards.
TEST_F(ConnectRegistryTest, ThreadsConnectReadAndFreeAtOnce) {
  constexpr int kThreads = 16;
  constexpr int kConnectionsInAll = 1000;
  const kestrad::UniqueKernelObject start(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<int> failed(kThreads);  // each thread's own count
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      WaitForSingleObject(start.get(), INFINITE);
      for (int n = t; n < kConnectionsInAll; n += kThreads) {
        uint32_t hive = 0;
        const bool ok = connect_(own_, &hive) == 0 && ReadsOwnName(hive);
        failed[t] += !ok + (hive != 0 && disconnect_(hive) != 0);
      }
    });
  }
  SetEvent(start.get());
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failed, std::vector<int>(kThreads));
  EXPECT_EQ(ConnectAllThenFree(), T9_CONNECTIONS);
}
