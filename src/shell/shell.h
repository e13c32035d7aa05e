// Start-up and the main loop.
#pragma once

// Console set-up (UTF-8 code pages, window title), then the settings load.
void Init();

// Shows the main menu until the user leaves (choice 3, or the end of input),
// then saves the settings, says goodbye and pauses 2.5 s. Returns the
// process's exit status: 0, or 1 when the settings could not be saved.
int Main_loop();
