#ifndef ZERV_TEST_HOOKS_ALL_H
#define ZERV_TEST_HOOKS_ALL_H

// Puts every module's test hooks, and the state a test may leave behind,
// back to what a fresh process has.
void reset_all_test_hooks(void);

#endif
