// A scope's undo, for every system: no system header here, so that the
// Windows files, the POSIX files and the tests can all use it.
#pragma once

#include <utility>

// Runs `undo` when the scope that holds it ends, on every way out. Kept in
// a named variable: a temporary would undo at once. Neither copied nor
// moved, so the undo runs exactly once.
template <class Undo>
struct [[nodiscard]] Scoped {
  explicit Scoped(Undo u) : undo(std::move(u)) {}
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  ~Scoped() { undo(); }
  Undo undo;
};
template <class Undo>
Scoped(Undo) -> Scoped<Undo>;
