// The main window, built with plain Win32.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/form1.h"

namespace kestrad {

std::unique_ptr<Form1Host> MakeForm1(HINSTANCE instance, Support& support, EventLog& log);

}  // namespace kestrad
