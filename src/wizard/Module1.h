#pragma once

// The program's entry: prepares the look of the windows, shows the wizard and
// runs until no window is left.
int Main(int argc, char** argv);

// The desktop's own look for the windows; never fails the start-up.
bool InitVisualStyles();
