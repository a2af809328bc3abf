void sdl_placeholder() {}
