// The settings menu, its three editors and the program-information page.
#pragma once

// The loop behind main-menu choice 2; returns on choice 5 or at the end of
// input.
void Settings();

// Each shows its setting (or "<空>"), reads one line and stores it exactly
// as typed, then confirms and pauses. At the end of input, when nothing at
// all was read, the setting keeps its value.
void Set_com_path();
void Set_con_path();
void Set_com_settings();

// The program-information page, then a pause.
void Print_message();
