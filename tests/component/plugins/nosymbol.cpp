// A shared library that loads fine but exports no component creator.
#ifdef _WIN32
#define ORLIX_TEST_PLUGIN_EXPORT __declspec(dllexport)
#else
#define ORLIX_TEST_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" ORLIX_TEST_PLUGIN_EXPORT int somethingElseEntirely()
{
    return 42;
}
