// Deterministic in-place sort (heapsort; not stable, but identical tie
// handling on every machine, so simulation code may sort with it).
#ifndef QUICKSORT_H
#define QUICKSORT_H

#include "cseries.h"

typedef int (*compare_members_proc)(const void *a, const void *b);

void qsort_private(void *table_base, int32 num_members, size_t member_size, compare_members_proc compare_members);

#endif
