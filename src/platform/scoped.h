// A scope's undo, for every system: no system header here, so that the
// Windows files, the POSIX files and the tests can all use it.
#pragma once

// Runs `undo` when the scope that holds it ends, on every way out. Kept in
// a named variable: a temporary would undo at once.
template <class Undo>
struct [[nodiscard]] Scoped {
  Undo undo;
  ~Scoped() { undo(); }
};
template <class Undo>
Scoped(Undo) -> Scoped<Undo>;
