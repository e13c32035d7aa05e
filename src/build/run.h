// The run-code operation behind main-menu choice 1.
#pragma once

// Not built yet: returns to the main menu at once.
void Run();
