#include "dictionary.h"

#include <cstdlib>
#include <cstring>

static char *copy_string(const char *s)
{
	const size_t length = strlen(s) + 1;
	char *copy = static_cast<char *>(malloc(length));
	if (copy) memcpy(copy, s, length);
	return copy;
}

static int32 find_slot(const dictionary *d, const char *key)
{
	const uint32 hash = dictionary_hash(key);
	for (int32 i = 0; i < d->size; ++i)
	{
		if (d->key[i] && d->hash[i] == hash && strcmp(d->key[i], key) == 0) return i;
	}
	return NONE;
}

uint32 dictionary_hash(const char *key)
{
	uint32 hash = 0;
	for (const char *p = key; *p; ++p)
	{
		// Bytes count as signed characters, on every build.
		hash += static_cast<uint32>(static_cast<int32>(static_cast<int8>(*p)));
		hash += hash << 10;
		hash ^= hash >> 6;
	}
	hash += hash << 3;
	hash ^= hash >> 11;
	hash += hash << 15;
	return hash;
}

dictionary *dictionary_new(int32 size)
{
	if (size < DICTIONARY_MINIMUM_SIZE) size = DICTIONARY_MINIMUM_SIZE;
	dictionary *d = static_cast<dictionary *>(calloc(1, sizeof(dictionary)));
	if (!d) return nullptr;
	d->size = size;
	d->hist = static_cast<_val_history_ *>(calloc(size, sizeof(_val_history_)));
	d->val = static_cast<char **>(calloc(size, sizeof(char *)));
	d->key = static_cast<char **>(calloc(size, sizeof(char *)));
	d->hash = static_cast<uint32 *>(calloc(size, sizeof(uint32)));
	if (!d->hist || !d->val || !d->key || !d->hash)
	{
		free(d->hist);
		free(d->val);
		free(d->key);
		free(d->hash);
		free(d);
		return nullptr;
	}
	return d;
}

void dictionary_del(dictionary *d)
{
	if (!d) return;
	for (int32 i = 0; i < d->size; ++i)
	{
		free(d->key[i]);
		free(d->val[i]);
		dictionary_hist_clear(&d->hist[i]);
	}
	free(d->hist);
	free(d->val);
	free(d->key);
	free(d->hash);
	free(d);
}

char *dictionary_get(const dictionary *d, const char *key, char *def)
{
	if (!d || !key) return def;
	const int32 slot = find_slot(d, key);
	return slot == NONE ? def : d->val[slot];
}

// Doubles the slot arrays; FALSE (nothing changed) without memory.
static boolean dictionary_grow(dictionary *d)
{
	if (d->size > INT32_MAX / 2) return FALSE;
	const int32 new_size = d->size * 2;
	_val_history_ *hist = static_cast<_val_history_ *>(calloc(new_size, sizeof(_val_history_)));
	char **val = static_cast<char **>(calloc(new_size, sizeof(char *)));
	char **key = static_cast<char **>(calloc(new_size, sizeof(char *)));
	uint32 *hash = static_cast<uint32 *>(calloc(new_size, sizeof(uint32)));
	if (!hist || !val || !key || !hash)
	{
		free(hist);
		free(val);
		free(key);
		free(hash);
		return FALSE;
	}
	memcpy(hist, d->hist, d->size * sizeof(_val_history_));
	memcpy(val, d->val, d->size * sizeof(char *));
	memcpy(key, d->key, d->size * sizeof(char *));
	memcpy(hash, d->hash, d->size * sizeof(uint32));
	free(d->hist);
	free(d->val);
	free(d->key);
	free(d->hash);
	d->hist = hist;
	d->val = val;
	d->key = key;
	d->hash = hash;
	d->size = new_size;
	return TRUE;
}

int32 dictionary_set(dictionary *d, const char *key, const char *val)
{
	if (!d || !key) return -1;

	char *value_copy = nullptr;
	if (val && !(value_copy = copy_string(val))) return -1;

	const int32 existing = find_slot(d, key);
	if (existing != NONE)
	{
		if (d->val[existing])
		{
			if (dictionary_hist_add(&d->hist[existing], d->val[existing]) != 0)
			{
				free(value_copy);
				return -1;
			}
		}
		d->val[existing] = value_copy;
		return 0;
	}

	char *key_copy = copy_string(key);
	if (!key_copy || (d->n == d->size && !dictionary_grow(d)))
	{
		free(key_copy);
		free(value_copy);
		return -1;
	}
	for (int32 i = 0; i < d->size; ++i)
	{
		if (!d->key[i])
		{
			d->key[i] = key_copy;
			d->val[i] = value_copy;
			d->hash[i] = dictionary_hash(key);
			d->n += 1;
			return 0;
		}
	}
	// n < size guarantees a free slot.
	free(key_copy);
	free(value_copy);
	return -1;
}

void dictionary_unset(dictionary *d, const char *key)
{
	if (!d || !key) return;
	const int32 slot = find_slot(d, key);
	if (slot == NONE) return;
	free(d->key[slot]);
	free(d->val[slot]);
	dictionary_hist_clear(&d->hist[slot]);
	d->key[slot] = nullptr;
	d->val[slot] = nullptr;
	d->hash[slot] = 0;
	d->n -= 1;
}

int32 dictionary_get_list_length(const dictionary *d, const char *key)
{
	if (!d || !key) return 0;
	const int32 slot = find_slot(d, key);
	return slot == NONE ? 0 : dictionary_hist_get_length(&d->hist[slot]) + 1;
}

void dictionary_get_full_list(const dictionary *d, const char *key, char **list)
{
	if (!d || !key || !list) return;
	const int32 slot = find_slot(d, key);
	if (slot == NONE) return;
	int32 count = 0;
	const _val_history_ *hist = &d->hist[slot];
	if (!dictionary_hist_is_empty(hist))
	{
		for (; hist; hist = hist->next) list[count++] = hist->value;
	}
	list[count] = d->val[slot];
}

int32 dictionary_hist_add(_val_history_ *hist, char *value)
{
	if (!hist) return -1;
	if (dictionary_hist_is_empty(hist))
	{
		hist->value = value;
		return 0;
	}
	_val_history_ *node = static_cast<_val_history_ *>(malloc(sizeof(_val_history_)));
	if (!node) return -1;
	node->value = value;
	node->next = nullptr;
	_val_history_ *last = hist;
	while (last->next) last = last->next;
	last->next = node;
	return 0;
}

void dictionary_hist_clear(_val_history_ *hist)
{
	if (!hist) return;
	free(hist->value);
	_val_history_ *node = hist->next;
	while (node)
	{
		_val_history_ *next = node->next;
		free(node->value);
		free(node);
		node = next;
	}
	hist->value = nullptr;
	hist->next = nullptr;
}

boolean dictionary_hist_is_empty(const _val_history_ *hist)
{
	return !hist || (!hist->value && !hist->next);
}

int32 dictionary_hist_get_length(const _val_history_ *hist)
{
	if (dictionary_hist_is_empty(hist)) return 0;
	int32 length = 0;
	for (; hist; hist = hist->next) length += 1;
	return length;
}

void dictionary_dump(const dictionary *d, FILE *out)
{
	if (!out) return;
	if (!d || d->n < 1)
	{
		fprintf(out, "empty dictionary\n");
		return;
	}
	for (int32 i = 0; i < d->size; ++i)
	{
		if (d->key[i]) fprintf(out, "%20s\t[%s]\n", d->key[i], d->val[i] ? d->val[i] : "UNDEF");
	}
}
