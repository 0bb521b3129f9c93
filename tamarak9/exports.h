// The library's exported functions, declared once against the C interface.
//
// The library is built without C++ exceptions and without the C++ runtime
// (see CMakeLists.txt), so nothing thrown can reach the caller: every
// failure, running out of memory included, comes back as the documented
// result. The static_asserts in the .cpp files keep every signature
// identical to the pointer types the binding uses.
#pragma once

#include "tamarak9/tamarak9.h"

extern "C" {

int32_t T9_CALL LibVersion(void);
int16_t T9_CALL ReadDWORDFromRegistry(uint32_t hive, const char* key, const char* name,
                                      int32_t* value);
uint32_t T9_CALL ReadStringFromRegistry(uint32_t hive, const char* key, const char* name,
                                        char* buffer, uint32_t size);
int16_t T9_CALL WriteDWORDToRegistry(uint32_t hive, const char* key, const char* name,
                                     int32_t value);
int16_t T9_CALL KeyExists(uint32_t hive, const char* key);
int32_t T9_CALL ConnectRegistry(const char* machine, uint32_t* hive);
int32_t T9_CALL ShellRun(const char* address);
int16_t T9_CALL GetArgs(const char* text, char* buffer, uint32_t size, uint32_t* needed);
int32_t T9_CALL OpenConsole(void);
int16_t T9_CALL ConsoleOpen(void);
int32_t T9_CALL CloseConsole(void);
int32_t T9_CALL SetConsoleAttributes(int32_t foreground, int32_t background);
int32_t T9_CALL ClearConsoleAttributes(void);
int32_t T9_CALL Writes(const char* text);
int32_t T9_CALL WriteLn(const char* text);
int32_t T9_CALL WriteErrLn(const char* text);
int16_t T9_CALL InNativeConsole(void);
int32_t T9_CALL Pause(const char* prompt);
int32_t T9_CALL ConsoleTitle(const char* title);

}  // extern "C"
