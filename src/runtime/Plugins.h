#pragma once
// Qt looks for plugins in the program's own directory too. Whoever may write there could then
// run code in the program, so plugins come from the system's plugin directories (and
// QT_PLUGIN_PATH) only.

namespace rt {

// Before the application object exists: the platform and its theme are loaded while it is
// made, so the program's directory must be gone from the search path by then.
void keepPluginsOutOfProgramDirectory();

} // namespace rt
