#include "commands/module_instance.h"

win::HINSTANCE ModuleInstance = nullptr;
