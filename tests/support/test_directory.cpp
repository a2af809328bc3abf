void support_placeholder() {}
