// The OpenGL back end on the machine's driver (run under a display): whole
// frames against the software frame of the same view, the state cache, dialog
// bitmaps and the colour-map upload, in milliseconds. GL rows end with
// glFinish; only the swap row swaps. A frame's ratio to the software frame is
// taken in process CPU time, which counts a software driver's own threads and
// not the time other programs take the cores; the frame's CRC shows whether a
// change kept every pixel.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crc.h"
#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "inifile.h"
#include "observer.h"
#include "render/render.h"
#include "screen.h"
#include "support/render_views.h"
#include "support/zerv_harness.h"
#include "../bench_first_level_view.h"

namespace {

enum { config_default, config_no_shaders, config_painter, NUMBER_OF_CONFIGS };
const char *const config_names[NUMBER_OF_CONFIGS] = { "default", "no_shaders", "painter" };
const char *const config_settings[NUMBER_OF_CONFIGS] = { "", "UseShaders = 0\n", "UseDepthTest = 0\n" };

bool harness_ready = false;
file_tag current_map = 0;
int32 current_config = -1;
bitmap_data *gl_frame = NULL;

// Settings are read from a scratch folder, so the build folder stays clean.
void load_settings(int32 config)
{
	char previous[4096];
	if (!getcwd(previous, sizeof(previous))) return;
	char scratch[] = "/tmp/zerv-opengl-bench-XXXXXX";
	if (!mkdtemp(scratch) || chdir(scratch) != 0) return;
	mkdir("preferences", 0777);
	if (FILE *file = fopen("preferences/poweruser.txt", "w"))
	{
		fprintf(file, "[Renderer.OpenGL]\nErasePreviousFrame = 1\nClearColor = 0\nUse32BitTextures = 1\n%s",
			config_settings[config]);
		fclose(file);
	}
	inifile_free();
	inifile_load();
	if (chdir(previous) != 0) perror("chdir");
	const std::string command = std::string("rm -rf '") + scratch + "'";
	if (system(command.c_str()) != 0) fprintf(stderr, "couldn't remove %s\n", scratch);
}

bool start_opengl(int32 config)
{
	if (current_config == config) return true;
	if (current_config >= 0) dispose_hardware_rasterizer_from_old_map();
	current_config = -1;
	int16 device_index = NONE, mode_index = 0;
	for (int16 i = 0; i < get_screen_device_count(); ++i)
	{
		if (get_screen_device(i)->rasterizer_code == _rasterizer_opengl) device_index = i;
	}
	if (device_index == NONE) return false;
	const device_info *device = get_screen_device(device_index);
	for (int16 i = 0; i < device->mode_count; ++i)
	{
		if (device->modes[i].width == 1024 && device->modes[i].height == 768) mode_index = i;
	}
	load_settings(config);
	active_screen.prefs.flags = _screen_pref_windowed_flag;
	active_screen.prefs.texture_cache_size = 64;
	set_active_screen(device_index, mode_index);
	if (!initialize_hardware_rasterizer_for_new_map()) return false;
	initialize_rasterizer_mesh_parameters_for_new_map();
	rectangle2d bounds = { 0, 0, 768, 1024 };
	gl_frame = initialize_render_bitmap_hardware(&bounds);
	current_config = config;
	return gl_frame != NULL;
}

// 0: 'demo' at its start, 1: 'demo' in battle (tick 600), 2: 'bnch', 3: 'l1  ' burning in the rain (tick 800).
bool enter_view(int32 view, int32 config)
{
	if (!harness_ready)
	{
		setenv("LP_NATIVE_VECTOR_WIDTH", "128", 0);
		install_sdl_platform();
		if (!harness_initialize()) return false;
		harness_ready = true;
	}
	const file_tag map = view == 2 ? TAG("bnch") : view == 3 ? HARNESS_FIRST_LEVEL_MAP_TAG : HARNESS_DEMO_MAP_TAG;
	const int32 key = map ^ (view == 1 ? 0x100 : 0);
	if (current_map != static_cast<file_tag>(key))
	{
		if (current_config >= 0) dispose_hardware_rasterizer_from_old_map();
		current_config = -1;
		set_active_screen(NONE, NONE);
		if (current_map) harness_end_map();
		current_map = 0;
		new_game_data setup;
		if (view == 2) harness_battle_setup(&setup, map);
		else harness_demo_setup(&setup, 2);
		if (view == 3 ? !start_first_level_fire_view() : !harness_start_map(&setup)) return false;
		if (view == 1) harness_run_ticks(600);
		if (view == 2)
		{
			const observer_location centre = {{128 * WORLD_ONE, 128 * WORLD_ONE}, 0, 0};
			set_actual_observer_location_and_zoom(&centre, NULL);
		}
		current_map = static_cast<file_tag>(key);
	}
	return start_opengl(config);
}

void draw_gl_frame(void)
{
	view_data view;
	memset(&view, 0, sizeof(view));
	build_observer_view(&view, 0);
	view.screen = gl_frame;
	render_scene(&view);
	opengl_api.glFinish();
}

double process_cpu_milliseconds(void)
{
	struct timespec now;
	clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
	return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The frame's CRC, top row first; with ZERV_DUMP_FRAMES=folder the frame is
// also written there for a look.
uint32 gl_frame_crc(const char *name)
{
	bitmap_data *frame = new_bitmap(1024, 768, 4096, _32bit_encoding, 0);
	if (!frame) return 0;
	opengl_api.glReadBuffer(GL_BACK);
	opengl_api.glPixelStorei(GL_PACK_ALIGNMENT, 4);
	for (int32 row = 0; row < 768; ++row)
	{
		opengl_api.glReadPixels(0, 767 - row, 1024, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, frame->row_addresses[row]);
	}
	const uint32 crc = calculate_data_crc(frame->row_addresses[0], 4096 * 768);
	dump_frame_when_asked(frame, name);
	dispose_pointer(frame);
	return crc;
}

// What a frame asks of the driver, counted through the entry-point table.
struct gl_call_counts
{
	int64 draws, vertices, binds, programs, uploads, other_state;
};
gl_call_counts gl_counts;
opengl_api_data real_gl;

void counted_glDrawArrays(GLenum mode, GLint first, GLsizei count)
{
	gl_counts.draws += 1;
	gl_counts.vertices += count;
	real_gl.glDrawArrays(mode, first, count);
}
void counted_glBindTexture(GLenum target, GLuint texture)
{
	gl_counts.binds += 1;
	real_gl.glBindTexture(target, texture);
}
void counted_glUseProgram(GLuint program)
{
	gl_counts.programs += 1;
	real_gl.glUseProgram(program);
}
void counted_glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
	GLenum type, const GLvoid *pixels)
{
	gl_counts.uploads += 1;
	real_gl.glTexSubImage2D(target, level, x, y, width, height, format, type, pixels);
}
void counted_glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height, GLint border,
	GLenum format, GLenum type, const GLvoid *pixels)
{
	gl_counts.uploads += 1;
	real_gl.glTexImage2D(target, level, internal_format, width, height, border, format, type, pixels);
}
void counted_glEnable(GLenum cap)
{
	gl_counts.other_state += 1;
	real_gl.glEnable(cap);
}
void counted_glDisable(GLenum cap)
{
	gl_counts.other_state += 1;
	real_gl.glDisable(cap);
}
void counted_glDepthMask(GLboolean flag)
{
	gl_counts.other_state += 1;
	real_gl.glDepthMask(flag);
}
void counted_glBlendFunc(GLenum source, GLenum destination)
{
	gl_counts.other_state += 1;
	real_gl.glBlendFunc(source, destination);
}

// One frame with the calls counted, as counters of the benchmark.
void count_gl_calls_of_a_frame(benchmark::State &state)
{
	real_gl = opengl_api;
	gl_counts = gl_call_counts();
	opengl_api.glDrawArrays = counted_glDrawArrays;
	opengl_api.glBindTexture = counted_glBindTexture;
	if (opengl_api.glUseProgram) opengl_api.glUseProgram = counted_glUseProgram;
	opengl_api.glTexSubImage2D = counted_glTexSubImage2D;
	opengl_api.glTexImage2D = counted_glTexImage2D;
	opengl_api.glEnable = counted_glEnable;
	opengl_api.glDisable = counted_glDisable;
	opengl_api.glDepthMask = counted_glDepthMask;
	opengl_api.glBlendFunc = counted_glBlendFunc;
	draw_gl_frame();
	opengl_api = real_gl;
	state.counters["draws"] = static_cast<double>(gl_counts.draws);
	state.counters["vertices"] = static_cast<double>(gl_counts.vertices);
	state.counters["binds"] = static_cast<double>(gl_counts.binds);
	state.counters["programs"] = static_cast<double>(gl_counts.programs);
	state.counters["uploads"] = static_cast<double>(gl_counts.uploads);
	state.counters["state"] = static_cast<double>(gl_counts.other_state);
}

// Process CPU milliseconds of one software frame of the current view.
double software_frame_milliseconds(void)
{
	bitmap_data *screen = new_bitmap(1024, 768, 4096, _32bit_encoding, 0);
	const double start = process_cpu_milliseconds();
	const int32 frames = 10;
	for (int32 i = 0; i < frames; ++i)
	{
		view_data view;
		memset(&view, 0, sizeof(view));
		build_observer_view(&view, 0);
		view.screen = screen;
		view.rasterizer_code = _rasterizer_software;
		render_scene(&view);
	}
	const double ms = (process_cpu_milliseconds() - start) / frames;
	dump_frame_when_asked(screen, "software_frame");
	dispose_pointer(screen);
	return ms;
}

void BM_frame_opengl(benchmark::State &state)
{
	const int32 view = static_cast<int32>(state.range(0)), config = static_cast<int32>(state.range(1));
	if (!enter_view(view, config))
	{
		state.SkipWithError("no OpenGL device or map");
		return;
	}
	// The first frame's pixels: the later ones move on with the particles.
	draw_gl_frame();
	char crc[16];
	const std::string name = std::string("opengl_frame_") + std::to_string(view) + "_" + config_names[config];
	snprintf(crc, sizeof(crc), " crc %08x", static_cast<unsigned>(gl_frame_crc(name.c_str())));
	const double start = process_cpu_milliseconds();
	for (auto _ : state) draw_gl_frame();
	const double opengl = (process_cpu_milliseconds() - start) /
		static_cast<double>(std::max<int64_t>(1, static_cast<int64_t>(state.iterations())));
	count_gl_calls_of_a_frame(state);
	const double software = software_frame_milliseconds();
	state.counters["cpu_ms"] = opengl;
	state.counters["software_ms"] = software;
	// The OpenGL frame's CPU time over the software frame's.
	state.counters["vs_software"] = software > 0 ? opengl / software : 0.0;
	static const char *const views[] = { "demo/start", "demo/battle", "bnch", "l1/fire_and_rain" };
	state.SetLabel(std::string(views[view]) + "/" + config_names[config] + crc);
}
BENCHMARK(BM_frame_opengl)
	->ArgsProduct({{0, 1, 2, 3}, {config_default, config_no_shaders, config_painter}})
	->Unit(benchmark::kMillisecond);

void BM_frame_opengl_swap(benchmark::State &state)
{
	if (!enter_view(0, config_default))
	{
		state.SkipWithError("no OpenGL device or map");
		return;
	}
	for (auto _ : state)
	{
		draw_gl_frame();
		copy_opengl_world_to_screen();
	}
	state.SetLabel("demo/start");
}
BENCHMARK(BM_frame_opengl_swap)->Unit(benchmark::kMillisecond);

void BM_update_volatile_cmap_texture_opengl(benchmark::State &state)
{
	if (!enter_view(0, config_default))
	{
		state.SkipWithError("no OpenGL device or map");
		return;
	}
	const boolean chunked = state.range(0) != 0;
	const int32 count = static_cast<int32>(state.range(1));
	uint8 list[64];
	for (int32 i = 0; i < 64; ++i) list[i] = static_cast<uint8>(i);
	const boolean saved = gl_prefs.update_cmap_chunked;
	gl_prefs.update_cmap_chunked = chunked;
	for (auto _ : state)
	{
		update_volatile_cmap_texture_opengl(list, count);
		opengl_api.glFinish();
	}
	gl_prefs.update_cmap_chunked = saved;
	state.SetLabel(std::string(chunked ? "chunked/" : "whole/") + std::to_string(count));
}
BENCHMARK(BM_update_volatile_cmap_texture_opengl)
	->ArgsProduct({{1, 0}, {1, 16, 64}})
	->Unit(benchmark::kMillisecond);

void BM_draw_bitmap_opengl(benchmark::State &state)
{
	if (!enter_view(0, config_default))
	{
		state.SkipWithError("no OpenGL device or map");
		return;
	}
	const boolean changed = state.range(0) != 0;
	bitmap_data *bitmap = new_bitmap(640, 480, 640 * 4, _32bit_encoding, 0);
	rectangle2d bounds = { 100, 100, 580, 740 };
	for (auto _ : state)
	{
		if (changed) bitmap->flags |= _bitmap_changed_flag;
		draw_bitmap_opengl(bitmap, &bounds, 0);
		opengl_api.glFinish();
	}
	dispose_bitmap_cache_opengl(bitmap);
	dispose_pointer(bitmap);
	state.SetLabel(changed ? "changed" : "unchanged");
}
BENCHMARK(BM_draw_bitmap_opengl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_set_render_mode_opengl(benchmark::State &state)
{
	if (!enter_view(0, config_default))
	{
		state.SkipWithError("no OpenGL device or map");
		return;
	}
	const boolean changed = state.range(0) != 0;
	int32 i = 0;
	for (auto _ : state)
	{
		const int32 blend = changed ? (++i & 1) + 1 : _blend_mode_alpha;
		set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, blend);
	}
	state.SetLabel(changed ? "changed" : "same");
}
BENCHMARK(BM_set_render_mode_opengl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
