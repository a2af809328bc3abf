#ifndef ZERV_TEST_HOOKS_ALL_H
#define ZERV_TEST_HOOKS_ALL_H

// Puts every module's test hooks back to their defaults.
void reset_all_test_hooks(void);

#endif
