// A shared library that is not a component: it lacks every export a host looks for.

extern "C" __attribute__((visibility("default"))) int NotAComponent() {
    return 7;
}
