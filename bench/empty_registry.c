/* The floor for a program that reads the registry: it opens the primary
   channel's key and reads one value, and imports nothing beyond ADVAPI32
   and what any program built with the same compilers imports. */
#include <windows.h>

int main(void) {
  HKEY key;
  DWORD value = 0, size = sizeof value;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0", 0,
                    KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    RegQueryValueExA(key, "DMAEnabled", NULL, NULL, (BYTE*)&value, &size);
    RegCloseKey(key);
  }
  return 0;
}
