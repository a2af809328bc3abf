void headless_placeholder() {}
