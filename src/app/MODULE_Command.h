#pragma once

// The program's entry: prepares the shared settings and opens the window
// that this run is for.
namespace MODULE_Command {

void Main();

}  // namespace MODULE_Command
