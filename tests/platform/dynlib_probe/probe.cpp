// A small library that the dynamic-loading tests load by name.

#ifdef _WIN32
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PROBE_EXPORT int zorvProbeAnswer() {
  return 42;
}

PROBE_EXPORT int zorvProbeTwice(int value) {
  return 2 * value;
}
