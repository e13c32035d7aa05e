// Pieces of the POSIX platform file that the pauser's POSIX file shares.
#pragma once

#include <spawn.h>

// Initialises `attr` so that a child gets the default action of SIGINT and
// SIGQUIT back even while its parent ignores them.
void Init_spawn_attr(posix_spawnattr_t& attr);
