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

/* How many connections to other machines' registries one process may hold
 * at once; DisconnectRegistry frees one for the next. */
#define T9_CONNECTIONS 64

/* The four registry functions also say why a call failed in the thread's
 * last error, as Win32 functions do: ERROR_FILE_NOT_FOUND or
 * ERROR_PATH_NOT_FOUND when the key or value is not there,
 * ERROR_UNSUPPORTED_TYPE when a value is there but of another type or size,
 * the system's code for any other failure (another machine switched off or
 * refusing the key), and ERROR_SUCCESS when KeyExists opened the key. */

/* Every function of the library, once, in the order of the export table:
 * X(bound, return type, name, (parameters)). `bound` is T9_BOUND for the
 * functions the program binds, T9_UNBOUND for those it only exports. The
 * pointer types, the library's declarations (tamarak9/exports.h), its .def
 * and test fixtures (tamarak9/CMakeLists.txt reads the names from the lines
 * below) and the binding's table all follow from this one. */
#define T9_FUNCTIONS(X)                                                                            \
  /* Any value; only the success of the call matters. */                                           \
  X(T9_BOUND, int32_t, LibVersion, (void))                                                         \
  /* Nonzero when an existing REG_DWORD of exactly 4 bytes was read into *value.                   \
   * `hive` is a predefined key as a 32-bit value (0x80000002 = HKLM), or                          \
   * another machine's from ConnectRegistry. */                                                    \
  X(T9_BOUND, int16_t, ReadDWORDFromRegistry,                                                      \
    (uint32_t hive, const char* key, const char* name, int32_t* value))                            \
  /* Reads a REG_SZ or REG_EXPAND_SZ value converted to the ANSI code page.                        \
   * Returns the size in bytes the text needs including its terminating NUL, or                    \
   * 0 when the value cannot be read (missing, another type, any error). The                       \
   * text is copied only when `size` is at least that much; `buffer` may be                        \
   * NULL to query the size. */                                                                    \
  X(T9_BOUND, uint32_t, ReadStringFromRegistry,                                                    \
    (uint32_t hive, const char* key, const char* name, char* buffer, uint32_t size))               \
  /* Sets a REG_DWORD in an existing key; never creates the key. Nonzero on                        \
   * success. */                                                                                   \
  X(T9_BOUND, int16_t, WriteDWORDToRegistry,                                                       \
    (uint32_t hive, const char* key, const char* name, int32_t value))                             \
  /* 0 when the key does not exist (the system's "file not found" or "path                         \
   * not found"); nonzero otherwise: it opens, or it is there but may not be                       \
   * opened, or any other failure, so that a write into it is tried and its                        \
   * failure told. Added for the unattended repair, which writes only into keys                    \
   * that exist. */                                                                                \
  X(T9_BOUND, int16_t, KeyExists, (uint32_t hive, const char* key))                                \
  /* Connects to the registry of another machine, named with or without a                          \
   * leading "\\", and sets *hive to a value that the functions above take                         \
   * as `hive` for that machine's HKEY_LOCAL_MACHINE, valid until                                  \
   * DisconnectRegistry frees it (*hive 0 on failure). Returns 0, or the                           \
   * system's error code: the machine cannot be reached, its Remote Registry                       \
   * does not answer, or access is denied; ERROR_TOO_MANY_OPEN_FILES when                          \
   * T9_CONNECTIONS are held. Safe from several threads at once, as are the                        \
   * registry functions above and DisconnectRegistry. */                                           \
  X(T9_BOUND, int32_t, ConnectRegistry, (const char* machine, uint32_t* hive))                     \
  /* Closes what ConnectRegistry holds for `hive` and frees its place, which                       \
   * the next ConnectRegistry may hand out again. Returns 0, or                                    \
   * ERROR_INVALID_PARAMETER for a hive that is no connected one (or freed). No                    \
   * other call on `hive` may be under way, nor follow. */                                         \
  X(T9_BOUND, int32_t, DisconnectRegistry, (uint32_t hive))                                        \
  /* Opens the address with the system's handler; nonzero on success. */                           \
  X(T9_BOUND, int32_t, ShellRun, (const char* address))                                            \
  /* Splits `text` (the arguments after the program name) the way                                  \
   * CommandLineToArgvW splits a command line. Returns the item count (0 for an                    \
   * empty or blank text, -1 on failure: more than 32767 items, or no memory)                      \
   * and sets *needed to the bytes that all items need, each with its NUL                          \
   * (0 on failure). Fills `buffer` with the items, one after another, only                        \
   * when `size` is at least *needed. */                                                           \
  X(T9_BOUND, int16_t, GetArgs, (const char* text, char* buffer, uint32_t size, uint32_t* needed)) \
  X(T9_BOUND, int32_t, OpenConsole, (void))                                                        \
  X(T9_BOUND, int16_t, ConsoleOpen, (void))                                                        \
  X(T9_BOUND, int32_t, CloseConsole, (void))                                                       \
  X(T9_BOUND, int32_t, SetConsoleAttributes, (int32_t foreground, int32_t background))             \
  X(T9_BOUND, int32_t, ClearConsoleAttributes, (void))                                             \
  X(T9_BOUND, int32_t, Writes, (const char* text))                                                 \
  /* The text and its line end (CR LF) in one write: to standard output, and                       \
   * for WriteErrLn to standard error. Nonzero when all of it was written. */                      \
  X(T9_BOUND, int32_t, WriteLn, (const char* text))                                                \
  X(T9_BOUND, int32_t, WriteErrLn, (const char* text))                                             \
  /* A progress line on standard error, rewritten in place: a carriage return,                     \
   * the text, and blanks over what is left of a longer earlier one, with no                       \
   * line end; the empty text blanks the line. Only into a console; into a                         \
   * file, a pipe or no handle nothing is written. Nonzero when it was shown.                      \
   * One thread's: it keeps the last line's length. */                                             \
  X(T9_BOUND, int32_t, WriteErrProgress, (const char* text))                                       \
  X(T9_BOUND, int16_t, InNativeConsole, (void))                                                    \
  X(T9_BOUND, int32_t, Pause, (const char* prompt))                                                \
  X(T9_UNBOUND, int32_t, ConsoleTitle, (const char* title))

#define T9_BOUND 1
#define T9_UNBOUND 0

#ifdef __cplusplus
extern "C" {
#endif

/* The pointer type of each function: T9<Name>Fn. */
#define T9_POINTER_TYPE(bound, result, name, parameters) \
  typedef result(T9_CALL* T9##name##Fn) parameters;
T9_FUNCTIONS(T9_POINTER_TYPE)
#undef T9_POINTER_TYPE

/* Each function's index in the table: T9Index_<Name>. */
#define T9_INDEX(bound, result, name, parameters) T9Index_##name,
enum T9Index { T9_FUNCTIONS(T9_INDEX) T9_FUNCTION_COUNT };
#undef T9_INDEX

/* Each function's exported name and whether the program binds it, by index. */
struct T9Function {
  const char* name;
  int bound;
};
#ifdef __cplusplus
#define T9_CONSTANT constexpr
#else
#define T9_CONSTANT const
#endif
#define T9_FUNCTION_ROW(bound, result, name, parameters) {#name, bound},
static T9_CONSTANT struct T9Function t9_functions[T9_FUNCTION_COUNT] = {
    T9_FUNCTIONS(T9_FUNCTION_ROW)};
#undef T9_FUNCTION_ROW
#undef T9_CONSTANT

#ifdef __cplusplus
}
#endif

#endif /* KESTRAD_TAMARAK9_H */
