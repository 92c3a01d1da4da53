/* The record members whose offsets C and C++ must agree on; shared by ksstk_c99.c and the
 * layout test. Each entry: record type, member. */
#ifndef KSSTK_LAYOUT_H
#define KSSTK_LAYOUT_H

#include <stddef.h>

#define KSSTK_LAYOUT_MEMBERS(X) \
  X(KSSTK_BLOB, Data)           \
  X(KSSTK_BLOB, Length)

typedef struct KsstkLayoutEntry {
  const char* name;
  size_t recordSize;
  size_t offset;
} KsstkLayoutEntry;

#define KSSTK_LAYOUT_ENTRY(record, member) {#record "." #member, sizeof(record), offsetof(record, member)},

#ifdef __cplusplus
extern "C" {
#endif
/* C's view, from ksstk_c99.c. */
extern const KsstkLayoutEntry ksstk_c99_layout[];
extern const size_t ksstk_c99_layout_count;
#ifdef __cplusplus
}
#endif

#endif
