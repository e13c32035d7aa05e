// Menu pages and choice input.
#pragma once

#include <unordered_set>

// Reads lines until one of at most 9 bytes, all ASCII digits, has a value in
// `a` (an empty line has the value 0), and returns that value. Every other
// line gets the rejection message. Once input has ended it returns
// `at_end`, which must be in `a`, without a message; a set holding 0 gets 0
// at the end by default.
int Read_pint(std::unordered_set<int> a, int at_end = 0);

// Draw their page and return the choice: 1 to 3 for the main menu, 1 to 5
// for the settings menu. At the end of input they return the page's way
// out: 3 (save and leave) and 5 (back) respectively.
int Main_page();
int Settings_page();
