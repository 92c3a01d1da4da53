/* ksstk.h compiled as strict C99: the records as C lays them out. */
#include <ksstk.h>

#include "tests/pentrel/ksstk_layout.h"

const KsstkLayoutEntry ksstk_c99_layout[] = {KSSTK_LAYOUT_MEMBERS(KSSTK_LAYOUT_ENTRY)};
const size_t ksstk_c99_layout_count = sizeof ksstk_c99_layout / sizeof ksstk_c99_layout[0];
