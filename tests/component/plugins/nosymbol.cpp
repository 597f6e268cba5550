// A shared library that loads fine but exports no component creator.
extern "C" __attribute__((visibility("default"))) int somethingElseEntirely()
{
    return 42;
}
