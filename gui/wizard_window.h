// The wizard's main window while the graphical role runs; null otherwise
// (the console, and before the window exists).
#pragma once

#include "platform/platform.h"

extern platform::WizardWindow* wizard_window;
