// placeholder
#include "support/tamarak9_binding_win32.h"
