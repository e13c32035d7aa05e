// Settings menu.
#pragma once

// The settings loop behind main-menu choice 2. Until the editors exist,
// every choice returns to the main menu.
void Settings();
