// placeholder
#include "ui/form1_win32.h"
