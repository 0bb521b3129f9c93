/* The C interface of tamarak9.dll: the library implements it, the program
 * binds to it at run time.
 *
 * Every function is __stdcall and exported under its plain name. Texts are
 * NUL-terminated ANSI strings. Nothing allocated on one side is freed on the
 * other: where a text comes back, the caller passes a buffer and its size,
 * and the function reports the size it needs. No function keeps a static
 * result buffer, and no C++ exception leaves the library.
 */
#ifndef KESTRAD_TAMARAK9_H
#define KESTRAD_TAMARAK9_H

#include <stdint.h>

#ifdef _WIN32
#define T9_CALL __stdcall
#else
#define T9_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Any value; only the success of the call matters. */
typedef int32_t(T9_CALL* T9LibVersionFn)(void);

/* Nonzero when an existing REG_DWORD of exactly 4 bytes was read into *value.
 * `hive` is a predefined key as a 32-bit value (0x80000002 = HKLM), or
 * another machine's from ConnectRegistry. */
typedef int16_t(T9_CALL* T9ReadDWORDFromRegistryFn)(uint32_t hive, const char* key,
                                                    const char* name, int32_t* value);

/* Reads a REG_SZ or REG_EXPAND_SZ value converted to the ANSI code page.
 * Returns the size in bytes the text needs including its terminating NUL, or
 * 0 when the value cannot be read (missing, another type, any error). The
 * text is copied only when `size` is at least that much; `buffer` may be
 * NULL to query the size. */
typedef uint32_t(T9_CALL* T9ReadStringFromRegistryFn)(uint32_t hive, const char* key,
                                                      const char* name, char* buffer,
                                                      uint32_t size);

/* Sets a REG_DWORD in an existing key; never creates the key. Nonzero on
 * success. */
typedef int16_t(T9_CALL* T9WriteDWORDToRegistryFn)(uint32_t hive, const char* key, const char* name,
                                                   int32_t value);

/* 0 when the key does not exist (the system's "file not found" or "path
 * not found"); nonzero otherwise: it opens, or it is there but may not be
 * opened, or any other failure, so that a write into it is tried and its
 * failure told. Added for the unattended repair, which writes only into keys
 * that exist. */
typedef int16_t(T9_CALL* T9KeyExistsFn)(uint32_t hive, const char* key);

/* Connects to the registry of another machine, named with or without a
 * leading "\\", and sets *hive to a value that the functions above take
 * as `hive` for that machine's HKEY_LOCAL_MACHINE, valid until the process
 * ends (*hive 0 on failure). Returns 0, or the system's error code: the
 * machine cannot be reached, its Remote Registry does not answer, or access
 * is denied. A process may connect T9_CONNECTIONS times. */
#define T9_CONNECTIONS 64
typedef int32_t(T9_CALL* T9ConnectRegistryFn)(const char* machine, uint32_t* hive);

/* Opens the address with the system's handler; nonzero on success. */
typedef int32_t(T9_CALL* T9ShellRunFn)(const char* address);

/* Splits `text` (the arguments after the program name) the way
 * CommandLineToArgvW splits a command line. Returns the item count (0 for an
 * empty or blank text, -1 on failure: more than 32767 items, or no memory)
 * and sets *needed to the bytes that all items need, each with its NUL
 * (0 on failure). Fills `buffer` with the items, one after another, only
 * when `size` is at least *needed. */
typedef int16_t(T9_CALL* T9GetArgsFn)(const char* text, char* buffer, uint32_t size,
                                      uint32_t* needed);

typedef int32_t(T9_CALL* T9OpenConsoleFn)(void);
typedef int16_t(T9_CALL* T9ConsoleOpenFn)(void);
typedef int32_t(T9_CALL* T9CloseConsoleFn)(void);
typedef int32_t(T9_CALL* T9SetConsoleAttributesFn)(int32_t foreground, int32_t background);
typedef int32_t(T9_CALL* T9ClearConsoleAttributesFn)(void);
typedef int32_t(T9_CALL* T9WritesFn)(const char* text);
/* The text and its line end (CR LF) in one write: to standard output, and
 * for WriteErrLn to standard error. Nonzero when all of it was written. */
typedef int32_t(T9_CALL* T9WriteLnFn)(const char* text);
typedef int32_t(T9_CALL* T9WriteErrLnFn)(const char* text);
typedef int16_t(T9_CALL* T9InNativeConsoleFn)(void);
typedef int32_t(T9_CALL* T9PauseFn)(const char* prompt);
typedef int32_t(T9_CALL* T9ConsoleTitleFn)(const char* title);

#ifdef __cplusplus
}
#endif

#endif /* KESTRAD_TAMARAK9_H */
