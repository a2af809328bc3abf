// A string dictionary that keeps, for a key set more than once, every earlier
// value (its history, oldest first) as well as the current one.
#ifndef DICTIONARY_H
#define DICTIONARY_H

#include <cstdio>

#include "cseries.h"

#define DICTIONARY_MINIMUM_SIZE 128

// The first element of each history lives in the slot array; further
// elements are separate nodes. Empty when both fields of the first are NULL.
struct _val_history_
{
	char *value;
	_val_history_ *next;
};

struct _dictionary_
{
	int32 n; // entries in use
	int32 size; // slots
	_val_history_ *hist; // earlier values of each slot's key
	char **val; // current values (NULL for a section or a key without value)
	char **key; // keys (NULL for a free slot)
	uint32 *hash;
};
typedef _dictionary_ dictionary;

// One-at-a-time hash over the key's bytes taken as signed characters.
uint32 dictionary_hash(const char *key);

// An empty dictionary of max(size, 128) slots; NULL without memory.
dictionary *dictionary_new(int32 size);
// Frees everything; nothing for NULL.
void dictionary_del(dictionary *d);
// The current value of key, def when key is absent.
char *dictionary_get(const dictionary *d, const char *key, char *def);
// Sets key to a copy of val (val may be NULL); a former non-NULL value moves
// to the end of the key's history. 0, or -1 for a NULL dictionary or key or
// when memory runs out (the dictionary is then unchanged).
int32 dictionary_set(dictionary *d, const char *key, const char *val);
void dictionary_unset(dictionary *d, const char *key);
// The number of values the key has had and has; 0 when absent.
int32 dictionary_get_list_length(const dictionary *d, const char *key);
// Writes the history values oldest first, then the current value, into list
// (dictionary_get_list_length entries).
void dictionary_get_full_list(const dictionary *d, const char *key, char **list);

// Appends value (the history takes it over); -1 when memory runs out.
int32 dictionary_hist_add(_val_history_ *hist, char *value);
void dictionary_hist_clear(_val_history_ *hist);
boolean dictionary_hist_is_empty(const _val_history_ *hist);
int32 dictionary_hist_get_length(const _val_history_ *hist);

void dictionary_dump(const dictionary *d, FILE *out);

#endif
