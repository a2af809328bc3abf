#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "hardware/generic_texture_cache.h"
#include "shading_tables.h"

namespace {

// A bitmap in its own block: record, one row address per row, then pixels.
struct test_bitmap
{
	std::vector<uint8> storage;
	bitmap_data *bitmap;

	test_bitmap(int32 width, int32 height, int32 bytes_per_pixel, int32 flags, int32 pixel_bytes = 0)
	{
		const size_t header = sizeof(bitmap_data) + sizeof(uint8 *) * (height > 0 ? height : 1);
		const size_t pixels = pixel_bytes ? static_cast<size_t>(pixel_bytes)
										  : static_cast<size_t>(width) * bytes_per_pixel * (height > 0 ? height : 1);
		storage.assign(header + pixels + 16, 0);
		bitmap = reinterpret_cast<bitmap_data *>(storage.data());
		bitmap->width = static_cast<int16>(width);
		bitmap->height = static_cast<int16>(height);
		bitmap->bytes_per_row = static_cast<int16>(width * bytes_per_pixel);
		bitmap->flags = static_cast<int16>(flags);
		bitmap->logical_bit_depth = static_cast<int16>(bytes_per_pixel * 8);
		bitmap->pixel_upshift = static_cast<int16>(bytes_per_pixel >> 1);
		bitmap->encoding = bytes_per_pixel == 1 ? _8bit_encoding : bytes_per_pixel == 4 ? _32bit_encoding : 0;
		bitmap->hardware_width = static_cast<int16>(next_highest_power_of_two(width));
		bitmap->hardware_height = static_cast<int16>(next_highest_power_of_two(height));
		uint8 *first = storage.data() + header;
		for (int32 y = 0; y < (height > 0 ? height : 1); ++y) bitmap->row_addresses[y] = first + y * bitmap->bytes_per_row;
	}
	uint8 *pixels() { return bitmap->row_addresses[0]; }
};

std::vector<uint32> shading32(void)
{
	std::vector<uint32> table(256);
	for (uint32 i = 0; i < 256; ++i) table[i] = (i << 16) | ((255 - i) << 8) | (i / 2);
	return table;
}

std::vector<uint16> shading16(void)
{
	std::vector<uint16> table(256);
	for (uint32 i = 0; i < 256; ++i) table[i] = static_cast<uint16>(((i & 31) << 10) | (((i >> 3) & 31) << 5) | 7);
	return table;
}

/* ---------- a back end that records every callback */

struct recorded_back_end
{
	std::vector<std::string> calls;
	uintptr_t next_handle = 1;
	bool update_fails = false;
	bool update_keeps_handle = true;
};
recorded_back_end recorded;

void *record_new(void *, bitmap_data *bitmap, cached_texture_data *texture)
{
	EXPECT_NE(texture->pixels, nullptr);
	recorded.calls.push_back("new " + std::to_string(bitmap->width));
	return reinterpret_cast<void *>(recorded.next_handle++);
}

void *record_update(void *, bitmap_data *, cached_texture_data *texture)
{
	recorded.calls.push_back("update " + std::to_string(reinterpret_cast<uintptr_t>(texture->user_data)));
	if (recorded.update_fails) return nullptr;
	return recorded.update_keeps_handle ? texture->user_data : reinterpret_cast<void *>(recorded.next_handle++);
}

void record_delete(void *, void *handle)
{
	recorded.calls.push_back("delete " + std::to_string(reinterpret_cast<uintptr_t>(handle)));
}

// Every entry is in the list once and the charges add up.
void expect_invariant(const cache *c)
{
	int64 sum = 0;
	size_t listed = 0;
	for (const cache_value *v = c->cache_lru.m_first; v; v = v->next)
	{
		sum += v->memory_use;
		listed += 1;
		if (v->next) { EXPECT_EQ(v->next->prev, v); }
		EXPECT_EQ(&v->map_it->second, v);
	}
	EXPECT_EQ(listed, c->cache_items.size());
	EXPECT_EQ(sum, c->current_memory_size);
}

class texture_cache : public ::testing::Test
{
protected:
	std::vector<uint32> table = shading32();

	void SetUp() override { recorded = {}; }
	void TearDown() override
	{
		dispose_texture_cache_from_old_map();
		set_texture_cache_scratch_limit_for_tests(0);
		set_texture_cache_entry_allocation_fails_for_tests(FALSE);
	}

	void start(int32 budget)
	{
		initialize_texture_cache_for_new_map(nullptr, TRUE, TRUE, FALSE, budget, record_new, record_update, record_delete);
		ASSERT_NE(cache_singleton, nullptr);
	}
	cached_texture_descriptor descriptor(test_bitmap &b, int32 flags = 0)
	{
		return cached_texture_descriptor{0, b.bitmap, nullptr, table.data(), flags};
	}
	cached_texture_data *look(test_bitmap &b)
	{
		cached_texture_descriptor d = descriptor(b);
		cached_texture_data *t = texture_cache_lookup(&d);
		expect_invariant(cache_singleton);
		return t;
	}
};

} // namespace

TEST_F(texture_cache, eviction_budget_and_disposal)
{
	// Entries of 256 bytes under a budget of 512: P, Q, P, then R evicts Q.
	start(512);
	test_bitmap p(8, 8, 1, 0), q(8, 8, 1, 0), r(8, 8, 1, 0), big(16, 16, 1, 0);
	ASSERT_NE(look(p), nullptr);
	ASSERT_NE(look(q), nullptr);
	ASSERT_NE(look(p), nullptr);
	ASSERT_NE(look(r), nullptr);
	EXPECT_EQ(recorded.calls, (std::vector<std::string>{"new 8", "new 8", "delete 2", "new 8"}));
	EXPECT_EQ(cache_singleton->current_memory_size, 512);

	// Too big for the whole budget: everything goes and nothing is made.
	EXPECT_EQ(look(big), nullptr);
	EXPECT_EQ(cache_singleton->current_memory_size, 0);
	EXPECT_EQ(recorded.calls.size(), 6u);

	// Removing what is not cached does nothing.
	cached_texture_descriptor absent = descriptor(q);
	texture_cache_remove(&absent);
	EXPECT_EQ(recorded.calls.size(), 6u);

	// The mipmap charge, and sides the cache refuses outright.
	test_bitmap wide(64, 64, 1, 0);
	EXPECT_EQ(cache_singleton->approximate_memory_use(wide.bitmap, _texture_mipmaps_flag), 21845);
	test_bitmap empty(0, 4, 1, 0);
	EXPECT_EQ(look(empty), nullptr);

	// A second start disposes the first cache; disposing deletes each handle once.
	ASSERT_NE(look(p), nullptr);
	ASSERT_NE(look(q), nullptr);
	recorded.calls.clear();
	start(4096);
	EXPECT_EQ(recorded.calls, (std::vector<std::string>{"delete 5", "delete 4"}));
	EXPECT_EQ(look(p)->user_data, reinterpret_cast<void *>(6));
	dispose_texture_cache_from_old_map();
	EXPECT_EQ(cache_singleton, nullptr);
	EXPECT_EQ(recorded.calls.back(), "delete 6");
	cached_texture_descriptor d = descriptor(p);
	EXPECT_EQ(texture_cache_lookup(&d), nullptr);
}

TEST_F(texture_cache, changed_bitmaps_are_refreshed_in_place)
{
	start(512);
	test_bitmap p(16, 8, 1, 0), q(8, 8, 1, 0);
	p.bitmap->width = 8;
	cached_texture_data *first = look(p);
	ASSERT_NE(first, nullptr);
	ASSERT_NE(look(q), nullptr);

	// In place, keeping the handle.
	p.bitmap->flags |= _bitmap_changed_flag;
	EXPECT_EQ(look(p), first);
	EXPECT_EQ(recorded.calls.back(), "update 1");
	EXPECT_FALSE(p.bitmap->flags & _bitmap_changed_flag);

	// Growing to the whole budget while least recent evicts Q, never the entry itself.
	ASSERT_NE(look(q), nullptr);
	ASSERT_EQ(&cache_singleton->cache_lru.m_last->texture, first);
	p.bitmap->width = 16;
	p.bitmap->flags |= _bitmap_changed_flag;
	EXPECT_EQ(look(p), first);
	EXPECT_EQ(cache_singleton->current_memory_size, 512);
	EXPECT_EQ(recorded.calls[recorded.calls.size() - 2], "delete 2");
	EXPECT_EQ(recorded.calls.back(), "update 1");

	// Removing a changed entry deletes it without rebuilding it first.
	p.bitmap->flags |= _bitmap_changed_flag;
	recorded.calls.clear();
	cached_texture_descriptor changed = descriptor(p);
	texture_cache_remove(&changed);
	EXPECT_EQ(recorded.calls, (std::vector<std::string>{"delete 1"}));
	EXPECT_EQ(cache_singleton->current_memory_size, 0);
	ASSERT_NE(look(p), nullptr);
	EXPECT_EQ(recorded.calls.back(), "new 16");

	// An update that fails hands the old handle to delete once; the next lookup builds afresh.
	recorded.update_fails = true;
	p.bitmap->flags |= _bitmap_changed_flag;
	EXPECT_EQ(look(p), nullptr);
	EXPECT_EQ(recorded.calls.back(), "delete 3");
	EXPECT_EQ(cache_singleton->current_memory_size, 0);
	recorded.update_fails = false;
	ASSERT_NE(look(p), nullptr);
	EXPECT_EQ(recorded.calls.back(), "new 16");
}

TEST_F(texture_cache, a_scratch_that_cannot_grow_gives_null_with_nothing_charged)
{
	start(1 << 24);
	test_bitmap small(1024, 512, 1, 0), large(1024, 512, 1, 0);
	small.bitmap->width = small.bitmap->height = 8;
	ASSERT_NE(look(small), nullptr);
	set_texture_cache_scratch_limit_for_tests(TEXTURE_CACHE_SCRATCH_RESERVE);
	EXPECT_EQ(look(large), nullptr);
	cached_texture_descriptor untinted = descriptor(large);
	untinted.shading_table = nullptr;
	EXPECT_EQ(texture_cache_lookup(&untinted), nullptr);
	EXPECT_EQ(cache_singleton->current_memory_size, 256);
	EXPECT_EQ(cache_singleton->cache_items.size(), 1u);
	EXPECT_EQ(recorded.calls, (std::vector<std::string>{"new 8"}));

	// A refresh that cannot grow drops the entry.
	small.bitmap->width = 1024;
	small.bitmap->height = 512;
	small.bitmap->flags |= _bitmap_changed_flag;
	EXPECT_EQ(look(small), nullptr);
	EXPECT_EQ(recorded.calls.back(), "delete 1");
	EXPECT_EQ(cache_singleton->current_memory_size, 0);
	EXPECT_TRUE(cache_singleton->cache_items.empty());
	set_texture_cache_scratch_limit_for_tests(0);
	EXPECT_NE(look(large), nullptr);
}

// An entry whose map node cannot be made gives its texture back, with or
// without a delete callback, and leaves nothing charged.
TEST_F(texture_cache, an_entry_that_cannot_be_kept_gives_its_texture_back)
{
	test_bitmap b(8, 8, 1, 0);
	for (const cache_delete_item_proc delete_item : {record_delete, static_cast<cache_delete_item_proc>(nullptr)})
	{
		dispose_texture_cache_from_old_map();
		recorded = {};
		initialize_texture_cache_for_new_map(nullptr, TRUE, TRUE, FALSE, 1 << 24, record_new, record_update, delete_item);
		ASSERT_NE(cache_singleton, nullptr);
		set_texture_cache_entry_allocation_fails_for_tests(TRUE);
		EXPECT_EQ(look(b), nullptr);
		EXPECT_EQ(cache_singleton->current_memory_size, 0);
		EXPECT_TRUE(cache_singleton->cache_items.empty());
		const std::vector<std::string> given_back = {"new 8", "delete 1"};
		EXPECT_EQ(recorded.calls, delete_item ? given_back : std::vector<std::string>{"new 8"});
		set_texture_cache_entry_allocation_fails_for_tests(FALSE);
		EXPECT_NE(look(b), nullptr);
	}
}

TEST(texture_cache_keys, keys_order_by_signed_identifier_then_addresses)
{
	cache_key permuted = {static_cast<int32>(0xE0000001u), 0, 0}, plain = {1, 0, 0}, by_pointer = {1, 8, 0};
	EXPECT_TRUE(permuted < plain);
	EXPECT_TRUE(plain < by_pointer);
	EXPECT_FALSE(by_pointer < plain);
}

/* ---------- the decoder */

namespace {

std::vector<uint32> convert32(test_bitmap &b, int16 encoding, bool premultiply, bool border, const color_table *colors = nullptr)
{
	const std::vector<uint32> table = shading32();
	const int32 w = b.bitmap->width + (border ? 2 : 0), h = b.bitmap->height + (border ? 2 : 0);
	std::vector<uint32> out(static_cast<size_t>(w) * h, 0xDEADBEEF);
	decompress_and_copy_pixels(b.bitmap, colors, out.data(), encoding, w * 4, table.data(), premultiply, border);
	return out;
}

std::vector<uint16> convert16(test_bitmap &b, int16 encoding, bool premultiply, const color_table *colors = nullptr)
{
	const std::vector<uint16> table = shading16();
	std::vector<uint16> out(static_cast<size_t>(b.bitmap->width) * b.bitmap->height, 0xBEEF);
	decompress_and_copy_pixels(b.bitmap, colors, out.data(), encoding, b.bitmap->width * 2, table.data(), premultiply, FALSE);
	return out;
}

} // namespace

TEST(texture_decoder, encoders_follow_the_per_pixel_rules)
{
	const std::vector<uint32> s32 = shading32();
	const std::vector<uint16> s16 = shading16();

	// Masked pixels: t = 7 is opaque in 1555 (alpha 136), t = 8 transparent (119).
	test_bitmap masked(3, 2, 2, _4bit_transparency_encoded_flag);
	uint16 *m = reinterpret_cast<uint16 *>(masked.pixels());
	m[0] = 0x0705; m[1] = 0x0805; m[2] = 0x0000; m[3] = 0x0F09; m[4] = 0x0001; m[5] = 0x0302;
	std::vector<uint16> m1555 = convert16(masked, _16bit_argb_1555_texture_encoding, false);
	EXPECT_EQ(m1555[0], s16[5] | 0x8000);
	EXPECT_EQ(m1555[2], s16[0] | 0x8000) << "a masked index 0 with t = 0 is opaque";
	std::vector<uint32> m8888 = convert32(masked, _32bit_argb_8888_texture_encoding, false, false);
	EXPECT_EQ(m8888[0], (136u << 24) | s32[5]);
	EXPECT_EQ(m8888[1] >> 24, 119u);
	std::vector<uint16> m4444 = convert16(masked, _16bit_argb_4444_texture_encoding, false);
	const uint32 s = s16[2];
	EXPECT_EQ(m4444[5], ((s >> 3) & 0xF00) | ((s >> 2) & 0xF0) | ((s >> 1) & 0xF) | (12u << 12));
	std::vector<uint16> m4444p = convert16(masked, _16bit_argb_4444_texture_encoding, true);
	const uint32 f = 13;
	EXPECT_EQ(m4444p[5], (((((s >> 10) & 31) * f) >> 5) << 8) | (((((s >> 5) & 31) * f) >> 5) << 4) | (((s & 31) * f) >> 5) |
		(12u << 12));
	std::vector<uint16> m1555p = convert16(masked, _16bit_argb_1555_texture_encoding, true);
	EXPECT_EQ(m1555p[1], 0);
	EXPECT_EQ(m1555p[0], s16[5] | 0x8000);

	// One-byte pixels: index 0 is transparent everywhere, encodings 5 and 8 included; 5 = 6 and 8 = 9.
	test_bitmap plain(3, 2, 1, 0);
	const uint8 indexes[6] = {0, 1, 200, 7, 0, 255};
	memcpy(plain.pixels(), indexes, 6);
	EXPECT_EQ(convert16(plain, _16bit_xrgb_1555_texture_encoding, false)[0] & 0x8000, 0) << "dilated colour, no alpha";
	EXPECT_EQ(convert16(plain, _16bit_xrgb_1555_texture_encoding, false), convert16(plain, _16bit_argb_1555_texture_encoding, false));
	std::vector<uint32> p8888 = convert32(plain, _32bit_xrgb_8888_texture_encoding, false, false);
	EXPECT_EQ(p8888, convert32(plain, _32bit_argb_8888_texture_encoding, false, false));
	EXPECT_EQ(p8888[1], 0xFF000000u | s32[1]);
	EXPECT_EQ(p8888[0] >> 24, 0u);
	std::vector<uint32> premultiplied = convert32(plain, _32bit_argb_8888_texture_encoding, true, false);
	EXPECT_EQ(premultiplied[0], 0u);
	EXPECT_EQ(premultiplied[2], 0xFF000000u | s32[200]);

	// Overlays take alpha from the brightest channel: 0x7FFF is transparent in 1555, 0x7F in 8888.
	std::unique_ptr<color_table> colors(new color_table());
	colors->colors[1] = {0x7FFF, 0x1000, 0, 0};
	colors->colors[200] = {0, 0, 0xFFFF, 0};
	test_bitmap overlay(3, 2, 1, _bitmap_is_overlay_flag);
	memcpy(overlay.pixels(), indexes, 6);
	EXPECT_EQ(convert16(overlay, _16bit_argb_1555_texture_encoding, false, colors.get())[1] & 0x8000, 0);
	EXPECT_EQ(convert32(overlay, _32bit_argb_8888_texture_encoding, false, false, colors.get())[1] >> 24, 0x7Fu);
	EXPECT_EQ(convert16(overlay, _16bit_argb_4444_texture_encoding, false, colors.get())[2] >> 12, 0xFu);
	// Without a colour table an overlay counts as none.
	EXPECT_EQ(convert32(overlay, _32bit_argb_8888_texture_encoding, false, false)[1] >> 24, 0xFFu);

	// An encoding outside 5..9 writes nothing.
	std::vector<uint32> untouched = convert32(plain, _32bit_encoding, false, false);
	for (uint32 v : untouched) EXPECT_EQ(v, 0xDEADBEEFu);
}

TEST(texture_decoder, borders_gap_fills_and_dilation)
{
	const std::vector<uint32> s32 = shading32();
	// A red pixel bleeds into its transparent neighbours at alpha 0; the border ring stays clear of bleed beyond one pixel.
	test_bitmap dot(3, 3, 1, 0);
	dot.pixels()[4] = 9;
	std::vector<uint32> out = convert32(dot, _32bit_argb_8888_texture_encoding, false, true);
	ASSERT_EQ(out.size(), 25u);
	EXPECT_EQ(out[2 * 5 + 2], 0xFF000000u | s32[9]);
	EXPECT_EQ(out[1 * 5 + 1], s32[9]);
	EXPECT_EQ(out[0], 0u) << "two pixels away stays 0";

	// Row-span rows: gaps take the next span's first colour, the pixel after a span its last colour.
	std::vector<uint8> row;
	auto put16 = [&](int16 v) { row.push_back(static_cast<uint8>(v)); row.push_back(static_cast<uint8>(v >> 8)); };
	put16(2); put16(3); put16(2); put16(3); put16(5); put16(7); row.push_back(10); row.push_back(20); row.push_back(30);
	test_bitmap spans(8, 1, 1, _1bit_transparency_encoded_flag, static_cast<int32>(row.size()));
	memcpy(spans.pixels(), row.data(), row.size());
	std::vector<uint32> filled = convert32(spans, _32bit_argb_8888_texture_encoding, false, false);
	const std::vector<uint32> expected = {s32[10], s32[10], 0xFF000000u | s32[10], s32[10], s32[20],
		0xFF000000u | s32[20], 0xFF000000u | s32[30], s32[30]};
	EXPECT_EQ(filled, expected);
	std::vector<uint32> zeroed = convert32(spans, _32bit_argb_8888_texture_encoding, true, false);
	EXPECT_EQ(zeroed[0], 0u);
	EXPECT_EQ(zeroed[7], 0u);
}

TEST_F(texture_cache, layout_sizes_and_run_length_streams)
{
	initialize_texture_cache_for_new_map(nullptr, TRUE, FALSE, FALSE, 1 << 24, record_new, record_update, record_delete);
	test_bitmap sized(30, 20, 1, 0);
	cached_texture_descriptor d = descriptor(sized, _texture_border_flag);
	cached_texture_data *t = texture_cache_lookup(&d);
	ASSERT_NE(t, nullptr);
	EXPECT_EQ(t->adjusted_width, 32);
	EXPECT_EQ(t->adjusted_height, 22);
	EXPECT_EQ(t->hardware_width, 32);
	EXPECT_EQ(t->hardware_height, 32);
	EXPECT_EQ(t->pixels, nullptr);
	test_bitmap mipped(256, 64, 1, 0);
	d = descriptor(mipped, _texture_mipmaps_flag);
	EXPECT_EQ(texture_cache_lookup(&d)->mipmap_count, 9);

	// A run-length stream: 3 clear pixels, literals of alpha 16, 1 and 31 (hue 1), a hue-1 run, an overlong clear run.
	const uint8 stream[] = {3, 16, 1, 2, 3, 1, 4, 5, 6, 0x20 | 31, 250, 0, 0, 1, 7, 8, 9, 0, 200};
	test_bitmap rl(4, 3, 2, _bitmap_extended_encoding_flag, sizeof(stream));
	rl.bitmap->encoding = 1;
	memcpy(rl.pixels(), stream, sizeof(stream));
	char fault[64];
	EXPECT_TRUE(check_stored_bitmap(rl.bitmap, stream, sizeof(stream), fault, sizeof(fault))) << fault;
	EXPECT_FALSE(check_stored_bitmap(rl.bitmap, stream, 14, fault, sizeof(fault)));
	EXPECT_NE(std::string(fault).find("run-length"), std::string::npos);

	shading_table_header header = {};
	header.hue_change_count = 1;
	header.hue_change_data[0].replacement_color = {0, 0xFFFF, 0xFFFF, 0};
	header.hue_change_data[0].median_hue = 0;
	std::vector<uint8> out(4 * 12, 0xAA);
	decompress_run_length_pixels(rl.bitmap, &header, out.data(), 16);
	EXPECT_EQ(std::vector<uint8>(out.begin(), out.begin() + 12), std::vector<uint8>(12, 0));
	EXPECT_EQ(out[3 * 4 + 3], 131);
	EXPECT_EQ(out[4 * 4 + 3], 8);
	EXPECT_EQ(out[4 * 4 + 2], 4) << "hue index 0 keeps the stored red";
	EXPECT_EQ(out[5 * 4 + 3], 255);
	EXPECT_GT(out[5 * 4 + 2], 200) << "hue 1 keeps red red at full saturation";
	EXPECT_EQ(out[6 * 4 + 3], 255);
	for (int32 i = 7; i < 12; ++i) EXPECT_EQ(out[i * 4 + 3], 0) << "the last run is cut at the end";
	// A hue index beyond the header's changes, or no header, leaves the colour as stored.
	std::vector<uint8> plain(4 * 12, 0);
	decompress_run_length_pixels(rl.bitmap, nullptr, plain.data(), 16);
	EXPECT_EQ(plain[5 * 4 + 2], 250);
	EXPECT_EQ(plain[5 * 4 + 1], 0);

	// Through the cache with a border: the pixels sit inside a cleared ring.
	d = descriptor(rl, _texture_border_flag);
	d.shading_header = &header;
	recorded.calls.clear();
	ASSERT_NE(texture_cache_lookup(&d), nullptr);
	const std::vector<uint8> &scratch = cache_singleton->conversion_scratch;
	ASSERT_EQ(scratch.size(), static_cast<size_t>(5 * 6 * 4 + 4));
	for (int32 y = 0; y < 5; ++y)
	{
		for (int32 x = 0; x < 6; ++x)
		{
			const bool inside = x >= 1 && x <= 4 && y >= 1 && y <= 3;
			for (int32 c = 0; c < 4; ++c)
			{
				const uint8 want = inside ? out[((y - 1) * 4 + x - 1) * 4 + c] : 0;
				EXPECT_EQ(scratch[(y * 6 + x) * 4 + c], want) << x << ", " << y;
			}
		}
	}
}

TEST_F(texture_cache, untinted_copies_and_power_of_two_overlays)
{
	start(1 << 20);
	// A conversion that leaves opaque pixels in the scratch.
	test_bitmap opaque(8, 8, 1, 0);
	memset(opaque.pixels(), 1, 64);
	ASSERT_NE(look(opaque), nullptr);

	// Untinted: a plain 32-bit copy; a row-span row's gaps read 0, not what was there before.
	const uint8 row[] = {1, 0, 0, 0, 1, 0, 3, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
	test_bitmap spans(4, 1, 4, _1bit_transparency_encoded_flag, sizeof(row));
	memcpy(spans.pixels(), row, sizeof(row));
	cached_texture_descriptor untinted = descriptor(spans, _texture_border_flag);
	untinted.shading_table = nullptr;
	cached_texture_data *t = texture_cache_lookup(&untinted);
	ASSERT_NE(t, nullptr);
	EXPECT_EQ(t->encoding, _32bit_xrgb_8888_texture_encoding);
	EXPECT_EQ(t->adjusted_width, 4) << "no border";
	EXPECT_EQ(t->hardware_height, 1);
	const std::vector<uint8> expected = {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0, 0, 0, 0};
	EXPECT_EQ(cache_singleton->conversion_scratch, expected);

	// A power-of-two bitmap is never an overlay: the flag goes for good.
	test_bitmap square(8, 8, 1, _bitmap_is_overlay_flag | _power_of_two_flag), oblong(6, 8, 1, _bitmap_is_overlay_flag);
	EXPECT_EQ(look(square)->encoding, _32bit_xrgb_8888_texture_encoding);
	EXPECT_FALSE(square.bitmap->flags & _bitmap_is_overlay_flag);
	EXPECT_EQ(look(oblong)->encoding, _32bit_argb_8888_texture_encoding);
	EXPECT_TRUE(oblong.bitmap->flags & _bitmap_is_overlay_flag);
}
