#pragma once
// What settling an interrupted replacement of a table's files (a swap, a restructure) found and
// did.

namespace paradox {

enum class Settled {
  kNothing,    // nothing was pending
  kCompleted,  // the new table was past its point of no return and now stands complete
  kUndone,     // the old table stands as it was; what was begun of the new one is gone
};

}  // namespace paradox
